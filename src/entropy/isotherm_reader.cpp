#include "entropy/isotherm_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "recordio/free_form_reader.h"
#include "runtime/fp_policy.h"

namespace korvelin::entropy {
namespace {

using recordio::OutcomePolicy;
using recordio::ReadOutcome;

constexpr ReadOutcome kReadFailureOutcome =
    6000 + static_cast<ReadOutcome>(IoCondition::kReadFailure);

// The five items of a set, in the order the statement reads them.
constexpr int kItems = 5;

// What the items of a set land in: both leading items in one place, then
// the field, the temperature and the moment of the current point.
enum Target : std::uint8_t { kIgnored, kField, kTemperature, kMoment, kTargets };
constexpr std::array<Target, kItems> kTargetOfItem = {
    kIgnored, kIgnored, kField, kTemperature, kMoment};

using Items = std::array<float*, kItems>;

// What one five-value statement did: its outcome and, for each item,
// whether it received a value and which.
struct SetRecord {
  ReadOutcome outcome = 0;
  std::uint8_t assigned = 0;  // bit k: item k received values[k]
  std::array<float, kItems> values{};
};

// Exports often hold every isotherm of a study in one file, named in the
// control file once per temperature: each open then reads the file again
// from its start, up to the wanted isotherm. What a run of statements does
// depends on the bytes alone (an item either receives a value or keeps
// what it held), so an earlier open of an unchanged file leaves behind a
// summary of each run of kStatementsPerSegment statements it read: what
// each target received last, and the temperatures its successful sets were
// judged on. A later open passes over a segment none of whose sets can be
// within the tolerance of its temperature by taking that summary instead
// of reading and converting the bytes again; a segment that may hold one
// is read again from the file. A file counts as unchanged while its
// identity and stamp (size, modification and status-change times) are the
// same. The capacity is fixed: a longer file is read as usual past it.
struct Segment {
  std::uint64_t start = 0;  // where its first statement starts
  std::uint64_t end = 0;    // where the statement after its last starts
  std::array<float, kTargets> last{};  // what each target received last
  float lowest = 0.0f;   // the temperatures its successful sets were
  float highest = 0.0f;  // judged on, where the segment itself gave them
  std::uint8_t received = 0;     // bit t: target t received a value
  bool judgedOwn = false;        // some success judged on its own temperature
  bool judgedIncoming = false;   // some success judged on the one held before
  bool judgedUnordered = false;  // some success judged on a NaN
};

constexpr std::size_t kStatementsPerSegment = 64;

struct SegmentStore {
  static constexpr std::size_t kCapacity = 4096;

  bool valid = false;
  platform::FileIdentity identity;
  platform::FileStamp stamp;
  std::size_t count = 0;
  std::array<Segment, kCapacity> segments;

  std::uint64_t end() const { return count == 0 ? 0 : segments[count - 1].end; }
};

SegmentStore store;
bool storeInUse = true;     // off only in tests, to compare with
bool storeConsulted = false;  // some open took a segment from the store

// The store's pages are written before its first use, so that the
// program's memory is the same whether an export fills the store or not.
void touchStoreOnce() {
  static bool touched = false;
  if (!touched) {
    std::memset(static_cast<void*>(store.segments.data()), 0,
                sizeof(store.segments));
    touched = true;
  }
}

Items itemsOf(MeasurementBuffer& buffer, int j) {
  auto slot = static_cast<std::size_t>(j);
  return {&buffer.ignored, &buffer.ignored, &buffer.field[slot],
          &buffer.recordTemperature, &buffer.moment[slot]};
}

bool outsideTolerance(float temperature, float wanted) {
  double offset =
      static_cast<double>(temperature) - static_cast<double>(wanted);
  return std::fabs(offset) > static_cast<double>(kTemperatureTolerance);
}

// Whether no set of the segment can be kept for `wanted`. The offsets of
// the sets judged on the segment's own temperatures lie between those of
// its lowest and highest (a rounded difference keeps the order), so both
// ends being on the same side outside the tolerance rules them all out.
bool holdsNoneFor(const Segment& segment, float wanted, float heldBefore) {
  if (segment.judgedUnordered) {
    return false;  // never outside the tolerance, and in no order
  }
  if (segment.judgedIncoming && !outsideTolerance(heldBefore, wanted)) {
    return false;
  }
  if (!segment.judgedOwn) {
    return true;
  }
  const double tolerance = static_cast<double>(kTemperatureTolerance);
  const double wantedValue = static_cast<double>(wanted);
  return static_cast<double>(segment.highest) - wantedValue < -tolerance ||
         static_cast<double>(segment.lowest) - wantedValue > tolerance;
}

// Leaves the items as reading the segment's sets would, none of them kept.
void passOver(const Segment& segment, const Items& items) {
  static constexpr std::array<int, kTargets> kItemOf = {0, 2, 3, 4};
  for (int t = 0; t < kTargets; ++t) {
    if ((segment.received & (1u << t)) != 0) {
      *items[static_cast<std::size_t>(kItemOf[static_cast<std::size_t>(t)])] =
          segment.last[static_cast<std::size_t>(t)];
    }
  }
}

void addToSegment(Segment& segment, const SetRecord& record) {
  for (int k = 0; k < kItems; ++k) {
    if ((record.assigned & (1u << k)) != 0) {
      const Target t = kTargetOfItem[static_cast<std::size_t>(k)];
      segment.last[t] = record.values[static_cast<std::size_t>(k)];
      segment.received = static_cast<std::uint8_t>(segment.received | (1u << t));
    }
  }
  if (record.outcome != 0) {
    return;
  }
  if ((segment.received & (1u << kTemperature)) == 0) {
    segment.judgedIncoming = true;
    return;
  }
  const float temperature = segment.last[kTemperature];
  if (std::isnan(temperature)) {
    segment.judgedUnordered = true;
  } else if (!segment.judgedOwn) {
    segment.lowest = segment.highest = temperature;
    segment.judgedOwn = true;
  } else {
    segment.lowest = std::min(segment.lowest, temperature);
    segment.highest = std::max(segment.highest, temperature);
  }
}

SetRecord readSet(recordio::UnitNumber unit, const Items& items) {
  SetRecord record;
  record.outcome = recordio::beginRead(unit, "", OutcomePolicy::kAll);
  for (int k = 0; k < kItems && record.outcome == 0; ++k) {
    float& item = *items[static_cast<std::size_t>(k)];
    record.outcome = recordio::readReal(item);
    if (recordio::lastItemAssigned()) {
      record.assigned = static_cast<std::uint8_t>(record.assigned | (1u << k));
      record.values[static_cast<std::size_t>(k)] = item;
    }
  }
  if (record.outcome == 0) {
    record.outcome = recordio::endRead();
  }
  return record;
}

// The statements of one open of a file: recorded segments passed over
// where they hold nothing for the wanted temperature, read again from the
// file where they may; past the recorded ones, read from the file and
// recorded as they go.
class SetSource {
 public:
  SetSource(recordio::UnitNumber number, float wanted)
      : number_(number), wanted_(wanted) {
    unit_ = recordio::connectedUnit(number);
    if (unit_ == nullptr || !unit_->hasIdentity) {
      return;
    }
    std::optional<platform::FileStamp> stamp = recordio::unitStamp(*unit_);
    if (!stamp) {
      return;
    }
    if (!storeInUse) {
      return;
    }
    touchStoreOnce();
    if (!store.valid || !(store.identity == unit_->identity) ||
        !(store.stamp == *stamp)) {
      store.valid = true;
      store.identity = unit_->identity;
      store.stamp = *stamp;
      store.count = 0;
    }
    usesStore_ = true;
    recording_ = true;
  }

  SetRecord next(const Items& items) {
    if (!usesStore_) {
      return readSet(number_, items);
    }
    while (readAgainLeft_ == 0 && segment_ < store.count) {
      const Segment& segment = store.segments[segment_++];
      storeConsulted = true;
      if (holdsNoneFor(segment, wanted_, *items[3])) {
        passOver(segment, items);
        resumeAt(segment.end);
        continue;
      }
      resumeAt(segment.start);
      readAgainLeft_ = kStatementsPerSegment;
    }
    if (readAgainLeft_ > 0) {
      --readAgainLeft_;
      moveToResumePoint();
      return readSet(number_, items);
    }
    moveToResumePoint();
    SetRecord record = readSet(number_, items);
    if (recording_) {
      record_(record);
    }
    return record;
  }

 private:
  // Where the file must be read from next, once a statement is read; until
  // then the unit stays where it was (a segment passed over moves nothing).
  void resumeAt(std::uint64_t position) {
    resumePoint_ = position;
    mustResume_ = true;
  }

  void moveToResumePoint() {
    if (mustResume_ && recordio::readPosition(*unit_) != resumePoint_) {
      recordio::resumeReadingAt(*unit_, resumePoint_);
    }
    mustResume_ = false;
  }

  // Only statements that end before the end of the file are kept, so that
  // reading can always resume inside the file; one that cannot be kept
  // ends the recording for this open, and an unfinished segment is let go.
  void record_(const SetRecord& record) {
    const std::uint64_t position = recordio::readPosition(*unit_);
    if (record.outcome < 0 || record.outcome == kReadFailureOutcome ||
        position >= store.stamp.size || store.count == SegmentStore::kCapacity) {
      recording_ = false;
      return;
    }
    if (pendingCount_ == 0) {
      pending_ = Segment{};
      pending_.start = store.end();
    }
    addToSegment(pending_, record);
    if (++pendingCount_ == kStatementsPerSegment) {
      pending_.end = position;
      store.segments[store.count++] = pending_;
      segment_ = store.count;
      pendingCount_ = 0;
    }
  }

  recordio::UnitNumber number_;
  float wanted_;
  recordio::Unit* unit_ = nullptr;
  bool usesStore_ = false;
  bool recording_ = false;
  std::size_t segment_ = 0;         // the next recorded segment
  std::size_t readAgainLeft_ = 0;   // statements of a segment read again
  bool mustResume_ = false;
  std::uint64_t resumePoint_ = 0;
  Segment pending_;
  std::size_t pendingCount_ = 0;
};

}  // namespace

void readIsotherm(recordio::UnitNumber unit, float wantedTemperature,
                  MeasurementBuffer& buffer) {
  SetSource source(unit, wantedTemperature);
  int j = 0;
  while (j < kMaxPoints) {
    const Items items = itemsOf(buffer, j);
    const ReadOutcome outcome = source.next(items).outcome;
    if (outcome < 0) {
      break;
    }
    if (outcome > 0) {
      // A failed system read uses up nothing, so repeating the read would
      // never end: the run stops with the failure instead.
      if (outcome == kReadFailureOutcome) {
        recordio::Unit* u = recordio::connectedUnit(unit);
        raiseIo(IoCondition::kReadFailure, StatementKind::kRead,
                u != nullptr ? u->name() : std::string_view());
      }
      continue;
    }
    if (outsideTolerance(buffer.recordTemperature, wantedTemperature)) {
      continue;
    }
    auto slot = static_cast<std::size_t>(j);
    // 99.9999977648... Oe: the tolerance as stored, times 10000 in double.
    if (std::fabs(static_cast<double>(buffer.field[slot])) <
        static_cast<double>(kFieldTolerance) * 10000.0) {
      buffer.moment[slot] = 0.0f;
      buffer.field[slot] = 0.0f;
    }
    buffer.field[slot] = fp::store(static_cast<double>(buffer.field[slot]) *
                                   static_cast<double>(kTeslaPerOersted));
    ++j;
  }
  buffer.pointCount = j;
}

void forgetReadSetsForTesting() {
  store.valid = false;
  store.count = 0;
  storeConsulted = false;
}

void useReadSetStoreForTesting(bool inUse) { storeInUse = inUse; }

bool readSetStoreConsultedForTesting() { return storeConsulted; }

}  // namespace korvelin::entropy
