#include "export_file.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace prep {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// A line of numbers: at least three cells and numbers in most of the
// non-empty ones. Title lines and "INFO,1.2,SAMPLE_MASS" fail the test.
bool looksLikeData(const std::vector<std::string>& cells) {
  int numbers = 0;
  int filled = 0;
  for (const std::string& cell : cells) {
    if (trim(cell).empty()) {
      continue;
    }
    ++filled;
    numbers += parseNumber(cell) ? 1 : 0;
  }
  return numbers >= 3 && 2 * numbers > filled;
}

// Tab-separated exports exist; a title line tells which one a file uses.
char delimiterOf(std::string_view line) {
  std::size_t commas = 0;
  std::size_t tabs = 0;
  for (char c : line) {
    commas += c == ',' ? 1 : 0;
    tabs += c == '\t' ? 1 : 0;
  }
  return tabs > commas ? '\t' : ',';
}

bool isBlank(std::string_view line) { return trim(line).empty(); }

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  text = trim(text);
  std::string normal;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    normal.push_back(text[i++]);
  }
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) {
    normal.push_back(text[i++]);
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    normal.push_back(text[i++]);
    while (i < text.size() && isDigit(text[i])) {
      normal.push_back(text[i++]);
      ++digits;
    }
  }
  if (digits == 0) {
    return std::nullopt;
  }
  if (i < text.size()) {
    const char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
    } else if (c != '+' && c != '-') {
      return std::nullopt;
    }
    // "1.5+3" is an exponent too: the letter may be left out before a sign.
    normal.push_back('e');
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      normal.push_back(text[i++]);
    }
    std::size_t exponentDigits = 0;
    while (i < text.size() && isDigit(text[i])) {
      normal.push_back(text[i++]);
      ++exponentDigits;
    }
    if (exponentDigits == 0) {
      return std::nullopt;
    }
  }
  if (i != text.size()) {
    return std::nullopt;
  }
  return std::strtod(normal.c_str(), nullptr);
}

std::vector<std::string> splitCells(std::string_view line, char delimiter) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cells.back().push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cells.back().push_back(c);
      }
    } else if (c == '"' && trim(cells.back()).empty()) {
      quoted = true;
      cells.back().clear();
    } else if (c == delimiter) {
      cells.emplace_back();
    } else {
      cells.back().push_back(c);
    }
  }
  return cells;
}

ExportFile parseExport(std::string path, std::string content) {
  ExportFile file;
  file.path = std::move(path);
  file.content = std::move(content);
  std::istringstream in(file.content);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    file.lines.push_back(line);
  }

  std::size_t title = file.lines.size();
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    if (lower(trim(file.lines[i])) == "[data]") {
      for (std::size_t k = i + 1; k < file.lines.size(); ++k) {
        if (!isBlank(file.lines[k])) {
          title = k;
          break;
        }
      }
      break;
    }
  }
  if (title == file.lines.size()) {
    // No section marker: the titles are the last non-blank line in front of
    // the first line of numbers.
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
      const char d = delimiterOf(file.lines[i]);
      if (!looksLikeData(splitCells(file.lines[i], d))) {
        continue;
      }
      for (std::size_t k = i; k-- > 0;) {
        if (!isBlank(file.lines[k])) {
          title = k;
          break;
        }
      }
      if (title == file.lines.size()) {
        throw PrepError(file.path, static_cast<int>(i + 1),
                        "data without a line of column titles in front");
      }
      break;
    }
  }
  if (title == file.lines.size()) {
    throw PrepError(file.path, 0,
                    "no data section: neither a [Data] line nor a line of "
                    "numbers");
  }
  file.titleLine = static_cast<int>(title + 1);
  file.delimiter = delimiterOf(file.lines[title]);
  for (const std::string& cell : splitCells(file.lines[title], file.delimiter)) {
    file.titles.emplace_back(trim(cell));
  }
  for (std::size_t k = title + 1; k < file.lines.size(); ++k) {
    if (!isBlank(file.lines[k])) {
      file.rows.push_back({static_cast<int>(k + 1),
                           splitCells(file.lines[k], file.delimiter)});
    }
  }
  return file;
}

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw PrepError(path, 0, "cannot open the file");
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) {
    throw PrepError(path, 0, "cannot read the file");
  }
  return bytes.str();
}

}  // namespace prep
