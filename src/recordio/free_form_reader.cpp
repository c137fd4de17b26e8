#include "recordio/free_form_reader.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "recordio/value_conversion.h"

namespace korvelin::recordio {
namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr std::size_t kValueCapacity = 260;

enum class ValueMode { kPlain, kParenthesised, kQuoted };

// Separator that ended the previous value: comma, blank or slash, or after
// a quoted value the byte behind its closing mark.
constexpr int kComma = ',';
constexpr int kBlank = ' ';
constexpr int kSlash = '/';

enum class Scan { kValue, kNull, kNoMoreBytes, kByteReadFailed, kError };

struct FreeFormScanner {
  int lastSeparator = kComma;
  std::uint32_t repeatsLeft = 0;
  std::array<char, kValueCapacity> text{};
  std::size_t length = 0;
  /// The value ran past the capacity: its text cannot be trusted.
  bool overlong = false;
  ValueMode mode = ValueMode::kPlain;
  bool endedAtRecordEnd = false;
  IoCondition scanError = IoCondition::kBadReal;

  std::string_view value() const { return {text.data(), length}; }

  void append(int byte) {
    if (length < text.size()) {
      text[length++] = static_cast<char>(byte);
    } else {
      overlong = true;
    }
  }
};

struct ReadStatement {
  Unit* unit = nullptr;
  bool active = false;
  bool started = false;
  bool fixedForm = false;
  std::size_t fieldWidth = 0;
  std::int32_t policy = 0;
  ReadOutcome outcome = 0;
  FreeFormScanner scanner;
};

// One statement is in progress at a time, so one instance serves all units.
ReadStatement statement;

bool takesBackEndOfFile() { return (statement.policy & 1) != 0; }

bool takesBackErrors() { return (statement.policy & 4) != 0; }

ReadOutcome endOfFile(IoCondition condition = IoCondition::kEndOfFile) {
  if (!takesBackEndOfFile()) {
    statement.active = false;
    raiseIo(condition, StatementKind::kRead, statement.unit->name());
  }
  statement.outcome = -1;
  return statement.outcome;
}

ReadOutcome error(IoCondition condition) {
  if (!takesBackErrors()) {
    statement.active = false;
    raiseIo(condition, StatementKind::kRead, statement.unit->name());
  }
  statement.outcome = 6000 + static_cast<int>(condition);
  return statement.outcome;
}

ReadOutcome byteFailure(int byte) {
  return byte == kNoMoreBytes ? endOfFile() : error(IoCondition::kReadFailure);
}

// The work of a statement begins with its first item (or endRead).
bool start() {
  if (statement.started) {
    return true;
  }
  statement.started = true;
  if (statement.unit->atEnd) {
    endOfFile(IoCondition::kReadAfterEnd);
    return false;
  }
  statement.scanner.lastSeparator = kComma;
  statement.scanner.repeatsLeft = 0;
  statement.scanner.endedAtRecordEnd = false;
  statement.scanner.length = 0;
  statement.scanner.overlong = false;
  statement.scanner.mode = ValueMode::kPlain;
  return true;
}

Scan finishValue(FreeFormScanner& s, int separator) {
  s.lastSeparator = separator;
  return s.length == 0 && !s.overlong ? Scan::kNull : Scan::kValue;
}

// Scans one value. On kNoMoreBytes / kByteReadFailed `failedByte` tells which.
Scan scanValue(Unit& unit, int& failedByte) {
  FreeFormScanner& s = statement.scanner;
  if (s.repeatsLeft > 0) {
    --s.repeatsLeft;
    return s.length == 0 && !s.overlong ? Scan::kNull : Scan::kValue;
  }
  s.length = 0;
  s.overlong = false;
  s.mode = ValueMode::kPlain;
  s.endedAtRecordEnd = false;
  int closingMark = 0;
  for (;;) {
    int byte = nextByte(unit);
    if (byte < 0) {
      failedByte = byte;
      return byte == kNoMoreBytes ? Scan::kNoMoreBytes : Scan::kByteReadFailed;
    }
    if (byte == kCarriageReturn || byte == kLineFeed) {
      // The record ends here; a CR ends only its data, so everything up to
      // the LF goes with it.
      if (byte == kCarriageReturn) {
        if (int skipped = endReadRecord(unit); skipped < 0) {
          failedByte = skipped;
          return skipped == kNoMoreBytes ? Scan::kNoMoreBytes : Scan::kByteReadFailed;
        }
      }
      if (s.mode == ValueMode::kQuoted) {
        int dropped = nextByte(unit);
        if (dropped < 0) {
          failedByte = dropped;
          return dropped == kNoMoreBytes ? Scan::kNoMoreBytes : Scan::kByteReadFailed;
        }
        continue;
      }
      if ((s.length == 0 && !s.overlong && s.repeatsLeft == 0) ||
          s.mode == ValueMode::kParenthesised) {
        continue;
      }
      if (s.length != 0 || s.overlong) {
        s.endedAtRecordEnd = true;
      }
      return finishValue(s, kBlank);
    }
    if (s.mode == ValueMode::kQuoted) {
      if (byte != closingMark) {
        s.append(byte);
        continue;
      }
      int after = nextByte(unit);
      if (after < 0) {
        failedByte = after;
        return after == kNoMoreBytes ? Scan::kNoMoreBytes : Scan::kByteReadFailed;
      }
      if (after == closingMark) {
        s.append(byte);
        continue;
      }
      // The byte behind the closing mark is its separator, whatever it is;
      // an LF stays to end the record.
      if (after == kLineFeed) {
        putBackByte(unit);
      }
      return finishValue(s, after);
    }
    bool empty = s.length == 0 && !s.overlong;
    switch (byte) {
    case ' ':
    case '\t':
      if ((empty && s.repeatsLeft == 0) || s.mode == ValueMode::kParenthesised) {
        continue;
      }
      return finishValue(s, kBlank);
    case '(':
      if (empty) {
        s.mode = ValueMode::kParenthesised;
        continue;
      }
      break;
    case ')':
      if (s.mode == ValueMode::kParenthesised) {
        return finishValue(s, kBlank);
      }
      break;
    case '\'':
    case '"':
      if (empty) {
        s.mode = ValueMode::kQuoted;
        closingMark = byte;
        continue;
      }
      break;
    case '*': {
      // What stands before "*" is a repeat count: "3*2.5" is 2.5 three times.
      if (s.repeatsLeft > 0) {
        s.scanError = IoCondition::kSecondRepeatCount;
        return Scan::kError;
      }
      Conversion<std::int32_t> count{};
      if (!empty && !s.overlong) {
        count = convertInteger(s.value());
      }
      if (empty || s.overlong || count.error || count.value <= 0) {
        s.scanError = IoCondition::kBadRepeatCount;
        return Scan::kError;
      }
      s.repeatsLeft = static_cast<std::uint32_t>(count.value) - 1;
      s.length = 0;
      continue;
    }
    case ',':
      if (empty && s.lastSeparator == kBlank && s.repeatsLeft == 0) {
        // "5 , 6": the blanks and the comma are one separator.
        s.lastSeparator = kComma;
        continue;
      }
      if (s.mode == ValueMode::kParenthesised) {
        break;
      }
      return finishValue(s, kComma);
    case '/': return finishValue(s, kSlash);
    default: break;
    }
    s.append(byte);
  }
}

template <typename T, typename Convert>
ReadOutcome readNumber(T& item, Convert convert,
                       IoCondition overlongCondition) {
  if (!statement.active) {
    throw std::logic_error("read item outside a read statement");
  }
  if (statement.outcome != 0) {
    return statement.outcome;
  }
  if (!start()) {
    return statement.outcome;
  }
  FreeFormScanner& s = statement.scanner;
  if (s.lastSeparator == kSlash && s.repeatsLeft == 0) {
    return 0;
  }
  int failedByte = 0;
  switch (scanValue(*statement.unit, failedByte)) {
  case Scan::kNull: return 0;
  case Scan::kNoMoreBytes:
  case Scan::kByteReadFailed: return byteFailure(failedByte);
  case Scan::kError: return error(s.scanError);
  case Scan::kValue: break;
  }
  if (s.mode != ValueMode::kPlain) {
    return error(IoCondition::kDelimitedNumber);
  }
  // A text longer than the value store is refused rather than cut: a cut
  // number would be a different number.
  if (s.overlong) {
    return error(overlongCondition);
  }
  Conversion<T> converted = convert(s.value());
  if (converted.error) {
    return error(*converted.error);
  }
  item = converted.value;
  return 0;
}

}  // namespace

ReadOutcome beginRead(UnitNumber number, std::string_view format,
                      OutcomePolicy policy) {
  noteStatement(StatementKind::kRead);
  Unit* unit = findUnit(number, Direction::kRead);
  if (unit == nullptr) {
    throw std::logic_error("read from a unit that is not connected");
  }
  statement = ReadStatement{};
  statement.unit = unit;
  statement.active = true;
  statement.policy = static_cast<std::int32_t>(policy);
  if (!format.empty()) {
    // "(A50)": one character field of the given width.
    statement.fixedForm = true;
    std::size_t width = 0;
    for (char c : format) {
      if (c >= '0' && c <= '9') {
        width = std::min<std::size_t>(width * 10 + std::size_t(c - '0'), 1u << 20);
      }
    }
    statement.fieldWidth = width;
  }
  return 0;
}

ReadOutcome readReal(float& item) {
  return readNumber(item, convertReal, IoCondition::kBadReal);
}

ReadOutcome readInteger(std::int32_t& item) {
  return readNumber(item, convertInteger, IoCondition::kBadIntegerDigit);
}

ReadOutcome readText(std::span<char> item) {
  if (!statement.active) {
    throw std::logic_error("read item outside a read statement");
  }
  if (statement.outcome != 0) {
    return statement.outcome;
  }
  if (!start()) {
    return statement.outcome;
  }
  Unit& unit = *statement.unit;
  std::size_t width = std::min(statement.fieldWidth, item.size());
  std::size_t taken = 0;
  while (taken < width) {
    int byte = nextByte(unit);
    if (byte < 0) {
      // The supplied final LF means a byte can only be missing at the very
      // start of the field.
      return byteFailure(byte);
    }
    if (byte == kCarriageReturn || byte == kLineFeed) {
      putBackByte(unit);
      break;
    }
    item[taken++] = static_cast<char>(byte);
  }
  std::fill(item.begin() + static_cast<std::ptrdiff_t>(taken), item.end(), ' ');
  return 0;
}

ReadOutcome endRead() {
  if (!statement.active) {
    throw std::logic_error("endRead outside a read statement");
  }
  if (statement.outcome != 0) {
    statement.active = false;
    return statement.outcome;
  }
  if (!start()) {
    statement.active = false;
    return statement.outcome;
  }
  if (statement.fixedForm || !statement.scanner.endedAtRecordEnd) {
    if (int byte = endReadRecord(*statement.unit); byte < 0) {
      ReadOutcome outcome = byteFailure(byte);
      statement.active = false;
      return outcome;
    }
  }
  statement.active = false;
  return 0;
}

}  // namespace korvelin::recordio
