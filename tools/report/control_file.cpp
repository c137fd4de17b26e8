#include "control_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

namespace korvelin::report {
namespace {

constexpr int kMaxFields = 20;

// One value text as the free-form scanner found it; text is empty for a
// null value.
struct ValueText {
  std::string text;
  TextPosition at;
};

// The free-form reading korvelin applies to its control file, reduced to
// what three numeric read statements need. Parenthesised and quoted values
// are not taken apart: they simply fail to convert.
class FreeFormReader {
 public:
  explicit FreeFormReader(std::string_view bytes) : bytes_(bytes) {}

  void beginStatement() {
    lastSeparator_ = ',';
    repeatsLeft_ = 0;
    endedAtRecordEnd_ = false;
    slash_ = false;
  }

  // The next value of the statement, or an empty text for a null value (and
  // for every item after a "/").
  ValueText next() {
    if (slash_ && repeatsLeft_ == 0) {
      return {"", position()};
    }
    if (repeatsLeft_ > 0) {
      --repeatsLeft_;
      return previous_;
    }
    ValueText value;
    endedAtRecordEnd_ = false;
    for (;;) {
      if (pos_ == bytes_.size()) {
        if (value.text.empty()) {
          // Point at the end of the last line rather than past it.
          TextPosition end = atLineStart() ? lastLineEnd_ : position();
          throw InputError(end.line, end.column,
                           "end of file: a value is missing");
        }
        break;  // the last line needs no line end
      }
      char c = bytes_[pos_];
      if (c == '\r' || c == '\n') {
        skipRecord();
        if (!value.text.empty()) {
          endedAtRecordEnd_ = true;
          lastSeparator_ = ' ';
          break;
        }
        continue;
      }
      advance();
      if (c == ' ' || c == '\t') {
        if (value.text.empty()) {
          continue;
        }
        lastSeparator_ = ' ';
        break;
      }
      if (c == ',') {
        if (value.text.empty() && lastSeparator_ == ' ') {
          lastSeparator_ = ',';
          continue;
        }
        lastSeparator_ = ',';
        break;
      }
      if (c == '/') {
        slash_ = true;
        break;
      }
      if (c == '*' && repeatsLeft_ == 0) {
        long count = toInteger(value).value_or(0);
        if (count <= 0) {
          throw InputError(value.at.line, value.at.column,
                           "a repeat count must be a positive integer");
        }
        repeatsLeft_ = static_cast<int>(count) - 1;
        value.text.clear();
        continue;
      }
      if (value.text.empty()) {
        value.at = {line_, column_ - 1};
      }
      value.text += c;
    }
    if (value.text.empty()) {
      value.at = position();
    }
    previous_ = value;
    return value;
  }

  // The rest of the line after the statement's last value is ignored.
  void endStatement() {
    if (!endedAtRecordEnd_) {
      skipRecord();
    }
  }

  TextPosition position() const { return {line_, column_}; }

  static std::optional<long> toInteger(const ValueText& value) {
    std::string_view text = value.text;
    if (!text.empty() && text.front() == '+') {
      text.remove_prefix(1);
    }
    long result = 0;
    auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), result);
    if (text.empty() || error != std::errc() ||
        end != text.data() + text.size() || result > 2147483647L ||
        result < -2147483648L) {
      return std::nullopt;
    }
    return result;
  }

 private:
  void advance() {
    ++pos_;
    ++column_;
  }

  // Passes over the rest of the record through its LF.
  void skipRecord() {
    while (pos_ < bytes_.size() && bytes_[pos_] != '\n') {
      advance();
    }
    if (pos_ < bytes_.size()) {
      lastLineEnd_ = position();
      ++pos_;
      ++line_;
      column_ = 1;
    }
  }

  bool atLineStart() const { return pos_ > 0 && bytes_[pos_ - 1] == '\n'; }

  std::string_view bytes_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int column_ = 1;
  char lastSeparator_ = ',';
  int repeatsLeft_ = 0;
  bool endedAtRecordEnd_ = false;
  bool slash_ = false;
  ValueText previous_;
  TextPosition lastLineEnd_;
};

// [sign] mantissa [exponent], the exponent a letter E, e, D or d with an
// optional sign, or a sign alone: "1.5+3" is 1500, "2.5d-2" 0.025.
std::optional<double> toReal(const std::string& text) {
  std::string normal;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') {
      normal += '-';
    }
    ++i;
  }
  std::size_t digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
       ++i, ++digits) {
    normal += text[i];
  }
  if (i < text.size() && text[i] == '.') {
    if (digits == 0) {
      normal += '0';  // from_chars wants a digit before the period
    }
    normal += '.';
    for (++i;
         i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
         ++i, ++digits) {
      normal += text[i];
    }
  }
  if (digits == 0) {
    return std::nullopt;
  }
  if (i < text.size()) {
    char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
    } else if (c != '+' && c != '-') {
      return std::nullopt;
    }
    normal += 'e';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      normal += text[i++];
    }
    std::size_t exponentDigits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
         ++i, ++exponentDigits) {
      normal += text[i];
    }
    if (exponentDigits == 0 || i != text.size()) {
      return std::nullopt;
    }
  }
  double value = 0.0;
  auto [end, error] =
      std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (error != std::errc() || end != normal.data() + normal.size() ||
      !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

double readReal(FreeFormReader& reader, const char* what,
                TextPosition* at = nullptr) {
  ValueText value = reader.next();
  if (at != nullptr) {
    *at = value.at;
  }
  if (value.text.empty()) {
    return 0.0;
  }
  std::optional<double> real = toReal(value.text);
  if (!real) {
    throw InputError(value.at.line, value.at.column,
                     std::string(what) + " is not a number (\"" + value.text +
                         "\")");
  }
  return *real;
}

int readInteger(FreeFormReader& reader, const char* what, TextPosition& at) {
  ValueText value = reader.next();
  at = value.at;
  if (value.text.empty()) {
    return 0;
  }
  std::optional<long> integer = FreeFormReader::toInteger(value);
  if (!integer) {
    throw InputError(value.at.line, value.at.column,
                     std::string(what) + " is not an integer (\"" +
                         value.text + "\")");
  }
  return static_cast<int>(*integer);
}

std::string twoDecimals(double field) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", field);
  return text;
}

}  // namespace

ControlFile parseControlFile(std::string_view bytes) {
  ControlFile control;
  FreeFormReader reader(bytes);

  reader.beginStatement();
  control.mass = readReal(reader, "the sample mass");
  reader.endStatement();

  reader.beginStatement();
  control.fieldCount =
      readInteger(reader, "the number of target fields", control.fieldCountAt);
  TextPosition sweepAt;
  (void)readInteger(reader, "the sweep direction", sweepAt);
  reader.endStatement();
  if (control.fieldCount > kMaxFields) {
    throw InputError(control.fieldCountAt.line, control.fieldCountAt.column,
                     "more than 20 target fields (" +
                         std::to_string(control.fieldCount) + ")");
  }

  reader.beginStatement();
  for (int j = 0; j < control.fieldCount; ++j) {
    TextPosition at;
    control.fields.push_back(readReal(reader, "a target field", &at));
    control.fieldsAt.push_back(at);
  }
  return control;
}

std::vector<double> reconcileFields(const ControlFile& control,
                                    const ResultTable& table) {
  std::size_t count =
      control.fieldCount > 0 ? static_cast<std::size_t>(control.fieldCount) : 0;
  if (count != table.fields.size()) {
    throw InputError(control.fieldCountAt.line, control.fieldCountAt.column,
                     "the control file names " + std::to_string(count) +
                         " target field(s) but the table has " +
                         std::to_string(table.fields.size()) + " column(s)");
  }
  for (std::size_t j = 0; j < count; ++j) {
    double field = control.fields[j];
    const std::optional<double>& shown = table.fields[j];
    // The heading rounds to two decimals, half away from zero, from the
    // single-precision value: 2.675 shows as 2.67 and 0.125 as .13, so both
    // neighbours half a unit away must agree.
    bool agrees = shown ? std::fabs(field - *shown) <= 0.005 + 1e-6
                        : field >= 99.995 || field <= -9.995;
    if (!agrees) {
      std::string heading = shown ? twoDecimals(*shown) : "*****";
      throw InputError(control.fieldsAt[j].line, control.fieldsAt[j].column,
                       "target field " + std::to_string(j + 1) + " (" +
                           twoDecimals(field) +
                           " T) does not match the table heading (" +
                           heading + ")");
    }
  }
  return control.fields;
}

}  // namespace korvelin::report
