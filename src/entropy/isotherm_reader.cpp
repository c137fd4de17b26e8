#include "entropy/isotherm_reader.h"

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

// What one five-value statement did: its outcome and, for each item,
// whether it received a value and which.
struct SetRecord {
  ReadOutcome outcome = 0;
  std::uint8_t assigned = 0;  // bit k: item k received values[k]
  std::array<float, kItems> values{};
};

// Exports often hold every isotherm of a study in one file, named in the
// control file once per temperature: each open then reads the file again
// from its start, up to the wanted isotherm. The statements' results depend
// on the bytes alone (an item either receives a value or keeps what it
// held), so for an unchanged file they are taken from here instead of
// being read and converted again; reading resumes in the file where the
// recorded statements end. A file counts as unchanged while its identity
// and stamp (size, modification and status-change times) are the same.
// The capacity is fixed: a longer file is read as usual past it.
struct SetCache {
  static constexpr std::size_t kCapacity = 49152;

  bool valid = false;
  platform::FileIdentity identity;
  platform::FileStamp stamp;
  std::size_t count = 0;
  std::uint64_t endPosition = 0;  // where the statement after the last ends
  std::array<SetRecord, kCapacity> records;
};

SetCache cache;

std::array<float*, kItems> itemsOf(MeasurementBuffer& buffer, int j) {
  auto slot = static_cast<std::size_t>(j);
  return {&buffer.ignored, &buffer.ignored, &buffer.field[slot],
          &buffer.recordTemperature, &buffer.moment[slot]};
}

SetRecord readSet(recordio::UnitNumber unit,
                  const std::array<float*, kItems>& items) {
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

void replay(const SetRecord& record, const std::array<float*, kItems>& items) {
  for (int k = 0; k < kItems; ++k) {
    if ((record.assigned & (1u << k)) != 0) {
      *items[static_cast<std::size_t>(k)] =
          record.values[static_cast<std::size_t>(k)];
    }
  }
}

// Reads the statements of one open of a file, from the cache as long as it
// has them and from the file after that.
class SetSource {
 public:
  explicit SetSource(recordio::UnitNumber number) : number_(number) {
    unit_ = recordio::connectedUnit(number);
    if (unit_ == nullptr || !unit_->hasIdentity) {
      return;
    }
    std::optional<platform::FileStamp> stamp = recordio::unitStamp(*unit_);
    if (!stamp) {
      return;
    }
    if (!cache.valid || !(cache.identity == unit_->identity) ||
        !(cache.stamp == *stamp)) {
      cache.valid = true;
      cache.identity = unit_->identity;
      cache.stamp = *stamp;
      cache.count = 0;
      cache.endPosition = 0;
    }
    cached_ = true;
  }

  SetRecord next(const std::array<float*, kItems>& items) {
    if (cached_ && cursor_ < cache.count) {
      const SetRecord& record = cache.records[cursor_++];
      replay(record, items);
      mustResume_ = true;
      return record;
    }
    // The file itself has not moved while statements were replayed; one
    // that recorded as it read is already where the next statement starts.
    if (mustResume_) {
      recordio::resumeReadingAt(*unit_, cache.endPosition);
      mustResume_ = false;
    }
    SetRecord record = readSet(number_, items);
    if (cached_) {
      // Only statements that end before the end of the file are kept, so
      // that reading can always resume inside the file; a statement that
      // cannot be kept ends the recording for this open.
      std::uint64_t position = recordio::readPosition(*unit_);
      if (record.outcome >= 0 && record.outcome != kReadFailureOutcome &&
          cursor_ == cache.count && cache.count < SetCache::kCapacity &&
          position < cache.stamp.size) {
        cache.records[cache.count++] = record;
        cache.endPosition = position;
        ++cursor_;
      } else {
        cached_ = false;
      }
    }
    return record;
  }

 private:
  recordio::UnitNumber number_;
  recordio::Unit* unit_ = nullptr;
  bool cached_ = false;
  bool mustResume_ = false;
  std::size_t cursor_ = 0;
};

}  // namespace

void readIsotherm(recordio::UnitNumber unit, float wantedTemperature,
                  MeasurementBuffer& buffer) {
  SetSource source(unit);
  int j = 0;
  while (j < kMaxPoints) {
    const std::array<float*, kItems> items = itemsOf(buffer, j);
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
    double offset = static_cast<double>(buffer.recordTemperature) -
                    static_cast<double>(wantedTemperature);
    if (std::fabs(offset) > static_cast<double>(kTemperatureTolerance)) {
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
  cache.valid = false;
  cache.count = 0;
}

}  // namespace korvelin::entropy
