#include "korvelin_reading.h"

#include <array>
#include <optional>

#include "export_file.h"

namespace prep {
namespace {

enum class Separator { kComma, kBlank, kSlash };
enum class ValueKind { kNull, kNumber, kBad };
enum class Outcome { kSuccess, kError, kEnd };

struct Value {
  ValueKind kind = ValueKind::kNull;
  double number = 0.0;
  std::string text;
  int line = 0;
};

class Scanner {
 public:
  explicit Scanner(std::string_view content) : bytes_(content) {
    // The last line needs no line end; giving it one keeps the loop simple.
    if (!bytes_.empty() && bytes_.back() != '\n') {
      bytes_.push_back('\n');
    }
  }

  int line() const { return line_; }

  void startStatement() {
    separator_ = Separator::kComma;
    endedAtRecordEnd_ = false;
  }

  Separator separator() const { return separator_; }

  // The rest of the record, through its LF, unless the last value already
  // ended at it.
  void finishStatement() {
    if (!endedAtRecordEnd_) {
      skipRecord();
    }
  }

  // One value, or nothing at the end of the file.
  std::optional<Value> scan() {
    enum class Mode { kPlain, kParenthesised, kQuoted };
    Mode mode = Mode::kPlain;
    char closing = '"';
    std::string text;
    endedAtRecordEnd_ = false;
    int valueLine = line_;
    while (true) {
      if (pos_ >= bytes_.size()) {
        return std::nullopt;
      }
      const char c = bytes_[pos_];
      if (c == '\r' || c == '\n') {
        skipRecord();
        if (mode == Mode::kQuoted) {
          if (pos_ < bytes_.size()) {
            ++pos_;  // the first byte of the next record is dropped
          }
          continue;
        }
        if (text.empty() && mode == Mode::kPlain) {
          valueLine = line_;
          continue;
        }
        endedAtRecordEnd_ = true;
        separator_ = Separator::kBlank;
        break;
      }
      ++pos_;
      if (mode == Mode::kQuoted) {
        if (c == closing && pos_ < bytes_.size() && bytes_[pos_] == closing) {
          ++pos_;
          text.push_back(c);
          continue;
        }
        if (c != closing) {
          text.push_back(c);
          continue;
        }
        // The byte behind the closing mark is its separator, whatever it is;
        // a line end stays to end the record.
        separator_ = Separator::kBlank;
        if (pos_ < bytes_.size() && bytes_[pos_] != '\n') {
          const char next = bytes_[pos_++];
          separator_ = next == ',' ? Separator::kComma
                       : next == '/' ? Separator::kSlash
                                     : Separator::kBlank;
        }
        return finish(text.empty() ? ValueKind::kNull : ValueKind::kBad,
                      text, valueLine);
      }
      if (c == ' ' || c == '\t') {
        if ((text.empty() && mode == Mode::kPlain) ||
            mode == Mode::kParenthesised) {
          continue;
        }
        separator_ = Separator::kBlank;
        break;
      }
      if (c == '(' && text.empty() && mode == Mode::kPlain) {
        mode = Mode::kParenthesised;
        continue;
      }
      if (c == ')' && mode == Mode::kParenthesised) {
        separator_ = Separator::kBlank;
        break;
      }
      if ((c == '\'' || c == '"') && text.empty() && mode == Mode::kPlain) {
        mode = Mode::kQuoted;
        closing = c;
        continue;
      }
      if (c == ',') {
        if (mode == Mode::kParenthesised) {
          text.push_back(c);
          continue;
        }
        if (text.empty() && separator_ == Separator::kBlank) {
          separator_ = Separator::kComma;  // joins the blank before it
          continue;
        }
        separator_ = Separator::kComma;
        break;
      }
      if (c == '/') {
        separator_ = Separator::kSlash;
        break;
      }
      text.push_back(c);
    }
    if (text.empty()) {
      return finish(ValueKind::kNull, text, valueLine);
    }
    if (mode != Mode::kPlain) {
      return finish(ValueKind::kBad, text, valueLine);
    }
    const std::optional<double> number = parseNumber(text);
    Value value = finish(number ? ValueKind::kNumber : ValueKind::kBad, text,
                         valueLine);
    value.number = number.value_or(0.0);
    return value;
  }

 private:
  static Value finish(ValueKind kind, const std::string& text, int line) {
    Value value;
    value.kind = kind;
    value.text = text;
    value.line = line;
    return value;
  }

  void skipRecord() {
    while (pos_ < bytes_.size() && bytes_[pos_] != '\n') {
      ++pos_;
    }
    if (pos_ < bytes_.size()) {
      ++pos_;
      ++line_;
    }
  }

  std::string bytes_;
  std::size_t pos_ = 0;
  int line_ = 1;
  Separator separator_ = Separator::kComma;
  bool endedAtRecordEnd_ = false;
};

}  // namespace

HeaderReplay replayHeader(std::string_view content, int firstDataLine) {
  HeaderReplay replay;
  Scanner scanner(content);
  std::array<double, 5> slots{};
  while (true) {
    scanner.startStatement();
    Outcome outcome = Outcome::kSuccess;
    int firstLine = 0;
    int lastLine = 0;
    bool slash = false;
    for (std::size_t item = 0; item < slots.size(); ++item) {
      if (scanner.separator() == Separator::kSlash) {
        slash = true;  // the items after a slash are not read
        break;
      }
      const std::optional<Value> value = scanner.scan();
      if (!value) {
        outcome = Outcome::kEnd;
        break;
      }
      if (value->kind == ValueKind::kBad) {
        outcome = Outcome::kError;
        break;
      }
      firstLine = firstLine == 0 ? value->line : firstLine;
      lastLine = value->line;
      if (value->kind == ValueKind::kNumber) {
        slots[item] = value->number;
        if (value->line < firstDataLine) {
          replay.numbers.push_back({value->line, value->text});
        }
      }
    }
    slash = slash || (outcome == Outcome::kSuccess &&
                      scanner.separator() == Separator::kSlash);
    if (outcome == Outcome::kEnd) {
      break;
    }
    if (outcome == Outcome::kError) {
      continue;  // korvelin issues the same read again
    }
    scanner.finishStatement();
    if (firstLine >= firstDataLine) {
      break;
    }
    replay.sets.push_back(
        {firstLine, lastLine, slots[2], slots[3], slots[4], slash});
  }
  return replay;
}

}  // namespace prep
