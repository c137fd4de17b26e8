// Fuzz target: the free-form and fixed-form reader over arbitrary bytes.
//
// The input is a four-byte header and the bytes to read. The header picks
// where the bytes come from (a disk file, or standard input through a unit
// connected to the console), how the reads are driven, and a read failure
// to plant:
//
//   byte 0  bit 0-1  driver: 0 and 1 isotherm reader, 2 control file,
//                    3 a schedule of mixed statements (bytes 2-3)
//           bit 2    read from the console instead of a disk file
//           bit 3    plant a read failure at request byte 1
//           bit 4    the failure is permanent from then on
//           bit 5-7  the system delivers at most 1, 2, 3, 7, 16, 100 or
//                    1000 bytes per read (0: as many as asked for), so that
//                    values and records cross the boundaries of what was
//                    read anywhere; a disk file is then read once more in
//                    one piece, and the two drives must see the same
//   byte 1  which read request fails (counted from 1)
//   byte 2-3 the mixed schedule, two bits per statement, repeated
//
// Checked on every statement: it ends with success, end of file or an
// error, and an outcome its policy does not take back is raised (with a
// code of the reading table) instead of returned; the unit's position
// never moves back; a statement that ends in success or an error has
// moved it forward (so repeating a statement after an error cannot loop),
// except a failed system read; an item whose value failed, and the items
// after it, keep what they held; end of file stays. A fixed-form field is
// checked byte for byte against the record it came from.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "memory_os.h"
#include "platform/os.h"
#include "recordio/console.h"
#include "recordio/free_form_reader.h"
#include "recordio/units.h"
#include "runtime/run_error.h"

namespace {

using korvelin::IoCondition;
using korvelin::RunError;
using korvelin::StatementKind;
using korvelin::fuzzing::MemoryOs;
using namespace korvelin::recordio;

constexpr UnitNumber kUnit = 12;
constexpr int kReadFailure = 6000 + static_cast<int>(IoCondition::kReadFailure);

MemoryOs memoryOs;

[[noreturn]] void finding(const char* what, long long a = 0, long long b = 0) {
  std::fprintf(stderr, "\nFINDING: %s (%lld, %lld)\n", what, a, b);
  std::abort();
}

void check(bool ok, const char* what, long long a = 0, long long b = 0) {
  if (!ok) {
    finding(what, a, b);
  }
}

bool isReadCode(int code) {
  switch (code) {
  case 6100: case 6101: case 6102: case 6103: case 6104:
  case 6302: case 6303: case 6405: case 6500: case 6501:
  case 6502: case 6503: case 6504:
    return true;
  default:
    return false;
  }
}

bool isEndOfFileCode(int code) { return code == 6501 || code == 6405; }

// Where the unit stands, as a pair that only grows while reading: a disk
// file by its offset in the byte stream (the supplied final LF counting as
// one more byte), the console by its request number and the index in that
// request's block.
struct Position {
  std::uint64_t request = 0;
  std::uint64_t index = 0;
  auto operator<=>(const Position&) const = default;
};

struct Source {
  bool console = false;
  std::string_view bytes;
};

Source source;

// What a drive saw, statement by statement: outcomes, positions in the
// byte stream and item values. Reading a disk file the same way must give
// the same trace however the system splits the file into reads.
std::vector<std::uint64_t> trace;

void note(std::uint64_t value) { trace.push_back(value); }

Position positionOf(const Unit& unit) {
  if (source.console) {
    return {static_cast<std::uint64_t>(memoryOs.inputCalls),
            consoleInputBuffer().next};
  }
  return {0, unit.blockOffset + unit.input.next};
}

// The unit under test, looked up once per input: it stays connected, in
// the same slot, until the input is done.
Unit* unitUnderTest = nullptr;

Unit& theUnit() { return *unitUnderTest; }

// One statement as a caller drives it, with its checks.
class Statement {
 public:
  Statement(OutcomePolicy policy, std::string_view format = "")
      : policy_(static_cast<std::int32_t>(policy)),
        start_(positionOf(theUnit())),
        wasAtEnd_(theUnit().atEnd) {
    ReadOutcome begun = beginRead(kUnit, format, policy);
    check(begun == 0, "beginRead returned an outcome", begun);
  }

  // Runs one item call (or endRead) through `call`; returns the outcome, or
  // records a raised condition and returns it as `raised()`.
  template <typename Call>
  ReadOutcome step(Call&& call) {
    Position before = positionOf(theUnit());
    ReadOutcome outcome = 0;
    try {
      outcome = call();
    } catch (const RunError& error) {
      checkRaised(error);
      raised_ = true;
      outcome = error.code();
      outcome_ = isEndOfFileCode(error.code()) ? -1 : error.code();
      return outcome_;
    }
    Position after = positionOf(theUnit());
    check(after >= before, "the position moved back",
          static_cast<long long>(before.index),
          static_cast<long long>(after.index));
    check(outcome == 0 || outcome == -1 || isReadCode(outcome),
          "an outcome that is none of the three", outcome);
    if (outcome == -1) {
      check((policy_ & 1) != 0, "end of file returned, not raised");
      check(theUnit().atEnd, "end of file without the unit at its end");
    }
    if (outcome > 0) {
      check((policy_ & 4) != 0, "an error returned, not raised", outcome);
    }
    if (outcome_ != 0) {
      // An item call after the statement failed reads nothing and gives
      // the same outcome again.
      check(outcome == outcome_, "a failed statement changed its outcome",
            outcome_, outcome);
      check(after == before, "a failed statement read on");
    }
    outcome_ = outcome;
    note(static_cast<std::uint32_t>(outcome));
    note(after.index);
    return outcome;
  }

  ReadOutcome real(float& item) {
    const auto old = std::bit_cast<std::uint32_t>(item);
    ReadOutcome outcome = step([&] { return readReal(item); });
    if (outcome != 0) {
      check(std::bit_cast<std::uint32_t>(item) == old,
            "a failed real item lost its value", old,
            std::bit_cast<std::uint32_t>(item));
    } else {
      check(std::isfinite(item), "a real item holds no finite value");
    }
    note(std::bit_cast<std::uint32_t>(item));
    return outcome;
  }

  ReadOutcome integer(std::int32_t& item) {
    const std::int32_t old = item;
    ReadOutcome outcome = step([&] { return readInteger(item); });
    if (outcome != 0) {
      check(item == old, "a failed integer item lost its value", old, item);
    }
    note(static_cast<std::uint32_t>(item));
    return outcome;
  }

  ReadOutcome text(std::span<char> item);

  ReadOutcome end() {
    if (outcome_ != 0) {
      return outcome_;
    }
    return step([] { return endRead(); });
  }

  // After the statement: the unit never reads on past its end, and every
  // statement but one that met the end or a failed system read has used up
  // at least one byte.
  void finish() {
    if (raised_) {
      return;
    }
    Position now = positionOf(theUnit());
    if (wasAtEnd_) {
      check(outcome_ == -1, "a statement on a unit at its end did not end",
            outcome_);
    }
    if (outcome_ == 0 || (outcome_ > 0 && outcome_ != kReadFailure)) {
      check(now > start_, "a statement used up nothing", outcome_);
    }
  }

  bool raised() const { return raised_; }
  ReadOutcome outcome() const { return outcome_; }
  Position start() const { return start_; }

 private:
  void checkRaised(const RunError& error) {
    check(error.classLetter() == 'F' && isReadCode(error.code()),
          "a raised condition with a code outside the reading table",
          error.code());
    check(error.statement() == StatementKind::kRead,
          "a raised condition that does not name a read");
    check(error.unitName() == theUnit().name(),
          "a raised condition that names another unit");
    check((error.code() == 6405) == wasAtEnd_,
          "F6405 is for a statement that starts at the end, and only that");
    if (isEndOfFileCode(error.code())) {
      check((policy_ & 1) == 0, "end of file raised though taken back");
    } else {
      check((policy_ & 4) == 0, "an error raised though taken back",
            error.code());
    }
  }

  std::int32_t policy_;
  Position start_;
  bool wasAtEnd_;
  ReadOutcome outcome_ = 0;
  bool raised_ = false;
};

// The byte stream a disk unit reads: the file, and an LF after a last line
// that has none.
std::string streamOf(std::string_view file) {
  std::string stream(file);
  if (!stream.empty() && stream.back() != '\n') {
    stream += '\n';
  }
  return stream;
}

std::string diskStream;

ReadOutcome Statement::text(std::span<char> item) {
  std::array<char, 64> old{};
  std::copy(item.begin(), item.end(), old.begin());
  const Position from = positionOf(theUnit());
  ReadOutcome outcome = step([&] { return readText(item); });
  for (char c : item) {
    note(static_cast<unsigned char>(c));
  }
  if (outcome != 0) {
    check(std::equal(item.begin(), item.end(), old.begin()),
          "a failed character item lost its value", outcome);
    return outcome;
  }
  if (!source.console) {
    // The field is the record's bytes from where the statement started, up
    // to its line end or the field's width, then blanks.
    std::size_t at = static_cast<std::size_t>(from.index);
    check(at < diskStream.size(), "a field read past the end of the stream");
    std::size_t i = 0;
    for (; i < item.size() && at + i < diskStream.size(); ++i) {
      char c = diskStream[at + i];
      if (c == '\r' || c == '\n') {
        break;
      }
      check(item[i] == c, "a field byte differs from the record",
            static_cast<long long>(i));
    }
    for (; i < item.size(); ++i) {
      check(item[i] == ' ', "a field is not padded with blanks",
            static_cast<long long>(i));
    }
  }
  return outcome;
}

// Every statement that does not end the drive uses up a byte, so there
// can be no more of them than bytes (a console block may add an LF).
std::size_t statementBound() {
  return diskStream.size() + 2 * memoryOs.standardInputConsumed() +
         static_cast<std::size_t>(memoryOs.inputCalls) + 8;
}

// Fills a statement's items with values it must not produce, so that an
// item left alone is told apart from one that was set.
constexpr float kUntouched = -999.25f;

// The isotherm reader: five reals, everything taken back, repeated after an
// error; it stops at end of file and at a failed system read.
void driveIsotherm() {
  std::array<float, 5> items{};
  items.fill(kUntouched);
  for (std::size_t statements = 0;; ++statements) {
    check(statements <= statementBound(), "more statements than bytes");
    Statement s(OutcomePolicy::kAll);
    ReadOutcome outcome = 0;
    for (std::size_t k = 0; k < items.size() && outcome == 0; ++k) {
      outcome = s.real(items[k]);
    }
    if (outcome == 0) {
      outcome = s.end();
    }
    s.finish();
    if (outcome < 0 || outcome == kReadFailure) {
      return;
    }
  }
}

// The control file: the mass, two integers, the target fields, then
// temperature and name pairs; nothing is taken back but the end of file of
// a temperature. A raised condition ends the run, and so the drive.
void driveControl(int fieldCount) {
  float mass = kUntouched;
  std::int32_t count = -1;
  std::int32_t direction = -1;
  std::array<float, 20> fields{};
  std::array<char, 50> name{};
  {
    Statement s(OutcomePolicy::kNone);
    s.real(mass);
    s.end();
    s.finish();
    if (s.raised()) {
      return;
    }
  }
  {
    Statement s(OutcomePolicy::kNone);
    if (s.integer(count) == 0 && s.integer(direction) == 0) {
      s.end();
    }
    s.finish();
    if (s.raised()) {
      return;
    }
  }
  {
    Statement s(OutcomePolicy::kNone);
    for (int j = 0; j < fieldCount && s.outcome() == 0; ++j) {
      s.real(fields[static_cast<std::size_t>(j)]);
    }
    s.end();
    s.finish();
    if (s.raised()) {
      return;
    }
  }
  for (int pair = 0; pair < 100; ++pair) {
    float temperature = kUntouched;
    {
      Statement s(OutcomePolicy::kEndOfFileOnly);
      if (s.real(temperature) == 0) {
        s.end();
      }
      s.finish();
      if (s.raised() || s.outcome() != 0) {
        return;
      }
    }
    {
      Statement s(OutcomePolicy::kNone, "(A50)");
      if (s.text(name) == 0) {
        s.end();
      }
      s.finish();
      if (s.raised()) {
        return;
      }
    }
  }
}

// Statements of every kind the program has, and a few it has not, all
// taking everything back, in the order the schedule gives. A failed
// statement is sometimes asked for one more item, which must read nothing.
void driveSchedule(std::uint16_t schedule) {
  std::array<float, 5> reals{};
  reals.fill(kUntouched);
  std::int32_t integers[2] = {-7, -7};
  std::array<char, 50> name{};
  name.fill('#');
  int failures = 0;
  for (std::size_t n = 0;; ++n) {
    check(n <= statementBound(), "more statements than bytes");
    const unsigned kind = (schedule >> (2 * (n % 8))) & 3U;
    const bool oneMore = ((schedule >> (n % 16)) & 1U) != 0;
    Statement s(OutcomePolicy::kAll, kind == 3 ? "(A50)" : "");
    ReadOutcome outcome = 0;
    switch (kind) {
    case 0:
      for (float& item : reals) {
        if ((outcome = s.real(item)) != 0) {
          break;
        }
      }
      if (outcome != 0 && oneMore) {
        s.real(reals[0]);
      }
      break;
    case 1:
      outcome = s.integer(integers[0]);
      if (outcome == 0) {
        outcome = s.integer(integers[1]);
      }
      if (outcome != 0 && oneMore) {
        s.integer(integers[1]);
      }
      break;
    case 2:
      // A statement with no items passes over one record.
      break;
    case 3:
      outcome = s.text(name);
      break;
    }
    if (outcome == 0) {
      outcome = s.end();
    }
    s.finish();
    if (outcome < 0) {
      // End of file stays until the unit is closed.
      Statement again(OutcomePolicy::kAll);
      float item = kUntouched;
      check(again.real(item) == -1, "end of file did not stay");
      return;
    }
    // A failed system read uses up nothing; a few in a row are enough to
    // see that the next statement tries the file again.
    if (outcome == kReadFailure && ++failures > 3) {
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 4) {
    return 0;
  }
  const std::uint8_t flags = data[0];
  const std::uint8_t failAt = data[1];
  const auto schedule = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
  const std::string_view bytes(reinterpret_cast<const char*>(data + 4),
                               size - 4);

  static constexpr std::size_t kChunks[8] = {0, 1, 2, 3, 7, 16, 100, 1000};
  const std::size_t chunk = kChunks[flags >> 5];
  const bool failing = (flags & 8) != 0;
  source.console = (flags & 4) != 0;
  source.bytes = bytes;
  diskStream = source.console ? std::string() : streamOf(bytes);

  // One drive over the bytes, delivered `chunk` bytes per read at most.
  auto drive = [&](std::size_t readChunk) {
    memoryOs.reset();
    korvelin::platform::installOs(memoryOs);
    resetUnitsForTesting();
    resetConsoleForTesting();
    trace.clear();
    if (source.console) {
      memoryOs.setStandardInput(bytes, false);
      openUnit(kUnit, "CON");
    } else {
      memoryOs.addFile("data.txt", bytes);
      openUnit(kUnit, "data.txt");
    }
    memoryOs.readChunk = readChunk;
    if (failing) {
      MemoryOs::Fault fault;
      fault.call = failAt == 0 ? 1 : failAt;
      fault.error = korvelin::platform::SysError::kOther;
      fault.sticky = (flags & 16) != 0;
      if (source.console) {
        memoryOs.inputFault = fault;
      } else {
        memoryOs.readFault = fault;
      }
    }
    unitUnderTest = connectedUnit(kUnit);
    check(unitUnderTest != nullptr, "the unit is not connected");
    switch (flags & 3) {
    case 0:
    case 1: driveIsotherm(); break;
    case 2: driveControl(failAt % 21); break;
    case 3: driveSchedule(schedule); break;
    }
    check(connectedUnit(kUnit) == unitUnderTest,
          "the unit moved while it was read");
    closeUnit(kUnit);
  };

  drive(chunk);
  if (chunk != 0 && !failing && !source.console) {
    // The same file read whole: what the statements saw must not differ.
    // (The console is left out: a short block of it gets a line end.)
    std::vector<std::uint64_t> split;
    split.swap(trace);
    drive(0);
    if (split != trace) {
      std::size_t at = 0;
      while (at < split.size() && at < trace.size() && split[at] == trace[at]) {
        ++at;
      }
      finding("reads split differently saw different things",
              static_cast<long long>(chunk), static_cast<long long>(at));
    }
  }
  // Freed before the input is over, so that allocations and frees balance.
  memoryOs.reset();
  return 0;
}
