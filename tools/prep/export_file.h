// A magnetometer export split into its header, its column titles and its
// data rows. Nothing here knows what the columns mean.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace prep {

/// A failure tied to a place in an input: reported as "file:line: message".
class PrepError : public std::runtime_error {
 public:
  PrepError(std::string file, int line, const std::string& message)
      : std::runtime_error(message), file_(std::move(file)), line_(line) {}
  const std::string& file() const { return file_; }
  /// 1-based; 0 when the message is about the file as a whole.
  int line() const { return line_; }

 private:
  std::string file_;
  int line_;
};

struct DataRow {
  int line = 0;  // 1-based line number in the file
  std::vector<std::string> cells;
};

struct ExportFile {
  std::string path;  // as the user gave it, for messages
  std::string content;
  std::vector<std::string> lines;  // without their CR LF or LF
  char delimiter = ',';
  int titleLine = 0;  // 1-based
  std::vector<std::string> titles;
  std::vector<DataRow> rows;  // non-blank lines after the titles
};

/// The number a korvelin read would take from `text` (blanks around it
/// allowed): [sign] digits[.digits] or .digits, then an optional exponent of
/// E, e, D or d with optional sign and digits, or a bare sign and digits
/// ("1.5+3" is 1500). Anything else, including "inf" and "0x10", is nothing.
std::optional<double> parseNumber(std::string_view text);

/// Splits one line at the delimiter; a cell in double quotes may hold the
/// delimiter, and "" inside it stands for one quote.
std::vector<std::string> splitCells(std::string_view line, char delimiter);

/// Finds the column titles ("[Data]" followed by the titles, or else the
/// line in front of the first line of numbers) and the rows after them.
/// Raises PrepError when there is no data section.
ExportFile parseExport(std::string path, std::string content);

/// Reads a whole file as bytes; raises PrepError when it cannot.
std::string readFileBytes(const std::string& path);

}  // namespace prep
