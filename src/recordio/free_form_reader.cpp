#include "recordio/free_form_reader.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <type_traits>

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

  /// The text of the value just scanned: in `text`, or straight in the
  /// unit's input buffer when the fast path took it.
  std::string_view view;

  std::string_view value() const { return view; }

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
bool itemAssigned = false;

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
  s.view = {s.text.data(), s.length};
  return s.length == 0 && !s.overlong ? Scan::kNull : Scan::kValue;
}

// Scans one value. On kNoMoreBytes / kByteReadFailed `failedByte` tells which.
Scan scanValue(Unit& unit, int& failedByte) {
  FreeFormScanner& s = statement.scanner;
  if (s.repeatsLeft > 0) {
    --s.repeatsLeft;
    s.view = {s.text.data(), s.length};
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
        count = convertInteger({s.text.data(), s.length});
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

constexpr std::array<double, 23> kExactPowersOfTen = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The common case of a data record: a plain decimal number such as
// "12345.6" or "-1.234E-03", ended by a comma, a blank, a tab or a slash,
// all within the bytes already read. It is scanned and converted in one
// pass, straight from the input buffer. The byte-by-byte scan would take
// such a value in exactly the same way, and for at most 15 significant
// digits and a power of ten up to 22 one correctly rounded multiplication
// or division gives the same nearest double as the general conversion.
// Returns false, having passed over at most the blanks in front of the
// value, when the value needs the general path.
// Appends the digits at p to `digits` (wrapping harmlessly when there are
// too many: the caller counts them). Stops at the buffer's NUL at the latest.
const char* takeDigits(const char* p, std::uint64_t& digits) {
  while (isDigit(*p)) {
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
    ++p;
  }
  return p;
}

bool readPlainReal(Unit& unit, FreeFormScanner& s, float& item) {
  InputBuffer& in = *unit.in;
  const char* p = in.data + in.next;
  const char* const end = in.data + in.fill;
  while (*p == ' ' || *p == '\t') {
    ++p;
  }
  in.next = static_cast<std::size_t>(p - in.data);
  const char* const valueBegin = p;

  // ",,": a null value keeps the item as it was. (After a blank the comma
  // joins that separator instead; the full scan handles it.)
  if (*p == ',' && p < end && s.lastSeparator != kBlank) {
    in.next = static_cast<std::size_t>(p + 1 - in.data);
    s.length = 0;
    s.overlong = false;
    s.mode = ValueMode::kPlain;
    s.endedAtRecordEnd = false;
    s.lastSeparator = kComma;
    return true;
  }

  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  // Digits before and after the point, read as one integer; more than 15
  // of them (leading zeros included) go the general way.
  std::uint64_t digits = 0;
  const char* const integerBegin = p;
  p = takeDigits(p, digits);
  auto digitCount = p - integerBegin;
  std::ptrdiff_t fractionDigits = 0;
  if (*p == '.') {
    const char* const fractionBegin = ++p;
    p = takeDigits(p, digits);
    fractionDigits = p - fractionBegin;
    digitCount += fractionDigits;
  }
  if (digitCount == 0 || digitCount > 15 || p >= end) {
    return false;
  }
  int exponent = 0;
  if (*p == 'E' || *p == 'e' || *p == 'D' || *p == 'd') {
    ++p;
    bool negativeExponent = false;
    if (*p == '+' || *p == '-') {
      negativeExponent = *p == '-';
      ++p;
    }
    const char* const first = p;
    while (isDigit(*p) && p - first < 3) {
      exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    if (p == first) {
      return false;
    }
    exponent = negativeExponent ? -exponent : exponent;
  }
  // The buffer's NUL is no separator, so a separator lies within the bytes
  // read.
  int separator;
  switch (*p) {
  case ',': separator = kComma; break;
  case ' ':
  case '\t': separator = kBlank; break;
  case '/': separator = kSlash; break;
  default: return false;  // a line end, a bare-sign exponent, any other byte
  }
  // A text longer than the value store is refused by the full scan.
  if (static_cast<std::size_t>(p - valueBegin) > s.text.size()) {
    return false;
  }
  const auto place = static_cast<int>(exponent - fractionDigits);
  if (place < -22 || place > 22) {
    return false;
  }
  const auto magnitude = static_cast<double>(digits);
  const double value =
      place >= 0 ? magnitude * kExactPowersOfTen[static_cast<std::size_t>(place)]
                 : magnitude / kExactPowersOfTen[static_cast<std::size_t>(-place)];
  // At most 15 digits times 1e22 stays below the largest float.
  const auto single = static_cast<float>(value);
  item = negative ? -single : single;
  itemAssigned = true;
  in.next = static_cast<std::size_t>(p + 1 - in.data);
  s.length = 0;
  s.overlong = false;
  s.mode = ValueMode::kPlain;
  s.endedAtRecordEnd = false;
  s.lastSeparator = separator;
  return true;
}

template <typename T, typename Convert>
ReadOutcome readNumber(T& item, Convert convert,
                       IoCondition overlongCondition) {
  itemAssigned = false;
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
  if constexpr (std::is_same_v<T, float>) {
    if (s.repeatsLeft == 0 && readPlainReal(*statement.unit, s, item)) {
      return 0;
    }
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
  itemAssigned = true;
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
  // Field by field: the scanner's value store needs no clearing, and a
  // statement starts for every set of an isotherm file.
  statement.unit = unit;
  statement.active = true;
  statement.started = false;
  statement.fixedForm = false;
  statement.fieldWidth = 0;
  statement.outcome = 0;
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
  // The field is collected apart and stored only once it is complete: the
  // end of the file can only be met at its start (the supplied final LF
  // sees to that), but a failed system read can stop it half-way, and the
  // item must then keep what it held.
  std::array<char, 256> local;
  std::string wide;  // only for fields wider than any the program reads
  char* field = local.data();
  if (width > local.size()) {
    wide.resize(width);
    field = wide.data();
  }
  std::size_t taken = 0;
  while (taken < width) {
    int byte = nextByte(unit);
    if (byte < 0) {
      return byteFailure(byte);
    }
    if (byte == kCarriageReturn || byte == kLineFeed) {
      putBackByte(unit);
      break;
    }
    field[taken++] = static_cast<char>(byte);
  }
  std::copy_n(field, taken, item.begin());
  std::fill(item.begin() + static_cast<std::ptrdiff_t>(taken), item.end(), ' ');
  return 0;
}

bool lastItemAssigned() { return itemAssigned; }

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
