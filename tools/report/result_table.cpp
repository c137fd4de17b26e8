#include "result_table.h"

#include <charconv>
#include <cstddef>
#include <string>

namespace korvelin::report {
namespace {

// The layout korvelin writes: an 8-column label or temperature, then one
// 13-column group per target field.
constexpr std::string_view kHeadingLabel = " T/B    ";
constexpr int kLeadWidth = 8;
constexpr int kGroupWidth = 13;
constexpr int kHeadingGap = 8;  // blanks in front of each F5.2 field
constexpr int kRowGap = 2;      // blanks in front of each F11.3 field

struct Line {
  std::string_view text;  // without its line end
  int number = 0;
  bool ended = false;  // a line end followed it
};

// Splits off the next line. CR LF and lone LF both end a line; a CR left at
// the very end of the file (LF lost) still ends it. Any other CR is no part
// of the layout.
Line nextLine(std::string_view bytes, std::size_t& pos, int number) {
  Line line;
  line.number = number;
  std::size_t end = bytes.find('\n', pos);
  std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
  if (end == std::string_view::npos) {
    end = bytes.size();
  } else {
    line.ended = true;
  }
  if (end > pos && bytes[end - 1] == '\r') {
    --end;
    line.ended = true;
  }
  line.text = bytes.substr(pos, end - pos);
  pos = next;
  std::size_t cr = line.text.find('\r');
  if (cr != std::string_view::npos) {
    throw InputError(number, static_cast<int>(cr) + 1,
                     "carriage return inside a line");
  }
  return line;
}

int column(std::size_t offset) { return static_cast<int>(offset) + 1; }

void expectBlanks(const Line& line, std::size_t from, std::size_t count,
                  const char* what) {
  for (std::size_t i = from; i < from + count; ++i) {
    if (line.text[i] != ' ') {
      throw InputError(line.number, column(i),
                       std::string("expected a blank ") + what);
    }
  }
}

std::optional<double> readHeadingField(const Line& line, std::size_t at) {
  FixedFieldValue field = readFixedField(line.text.substr(at, 5), 2);
  switch (field.kind) {
  case FixedFieldValue::Kind::kNumber: return field.value;
  case FixedFieldValue::Kind::kAsterisks: return std::nullopt;
  case FixedFieldValue::Kind::kInvalid: break;
  }
  throw InputError(line.number, column(at) + field.errorOffset,
                   "target field is not a number of the form F5.2 (\"" +
                       std::string(line.text.substr(at, 5)) + "\")");
}

std::vector<std::optional<double>> readHeading(const Line& line) {
  for (std::size_t i = 0; i < kHeadingLabel.size(); ++i) {
    if (i >= line.text.size() || line.text[i] != kHeadingLabel[i]) {
      throw InputError(line.number, column(i),
                       "the heading must start with \" T/B    \"; "
                       "is this a korvelin result table?");
    }
  }
  std::size_t rest = line.text.size() - kLeadWidth;
  if (rest % kGroupWidth != 0) {
    std::size_t cut = kLeadWidth + rest / kGroupWidth * kGroupWidth;
    throw InputError(line.number, column(cut),
                     "heading ends inside a field: each target field takes "
                     "13 columns (8 blanks and F5.2)");
  }
  std::vector<std::optional<double>> fields;
  for (std::size_t at = kLeadWidth; at < line.text.size(); at += kGroupWidth) {
    expectBlanks(line, at, kHeadingGap, "before the target field");
    fields.push_back(readHeadingField(line, at + kHeadingGap));
  }
  return fields;
}

// Reads one data line. Returns false when the row is dropped (its mean
// temperature is asterisks); the reason goes to the notes.
bool readRow(const Line& line, std::size_t fieldCount, TableRow& row,
             std::vector<InputNote>& notes) {
  row.line = line.number;
  row.cells.assign(fieldCount, std::nullopt);
  const std::string_view text = line.text;
  std::size_t full = kLeadWidth + fieldCount * kGroupWidth;

  if (text.size() < kLeadWidth) {
    if (!line.ended) {
      notes.push_back({line.number, 1,
                       "the last line stops inside its mean temperature "
                       "(the run ended early); the line is not used"});
      return false;
    }
    throw InputError(line.number, column(text.size()),
                     "line too short: a row starts with the mean "
                     "temperature in 8 columns (F8.3)");
  }
  FixedFieldValue mean = readFixedField(text.substr(0, kLeadWidth), 3);
  if (mean.kind == FixedFieldValue::Kind::kInvalid) {
    throw InputError(line.number, 1 + mean.errorOffset,
                     "mean temperature is not a number of the form F8.3 (\"" +
                         std::string(text.substr(0, kLeadWidth)) + "\")");
  }
  std::size_t cellsRead = 0;
  std::size_t at = kLeadWidth;
  for (; cellsRead < fieldCount && at + kGroupWidth <= text.size();
       at += kGroupWidth) {
    expectBlanks(line, at, kRowGap, "between cells");
    std::string_view cell = text.substr(at + kRowGap, kGroupWidth - kRowGap);
    FixedFieldValue value = readFixedField(cell, 3);
    switch (value.kind) {
    case FixedFieldValue::Kind::kNumber: row.cells[cellsRead] = value.value; break;
    case FixedFieldValue::Kind::kAsterisks: break;
    case FixedFieldValue::Kind::kInvalid:
      throw InputError(line.number, column(at + kRowGap) + value.errorOffset,
                       "cell is not a number of the form F11.3 (\"" +
                           std::string(cell) + "\")");
    }
    ++cellsRead;
  }
  if (text.size() > full) {
    throw InputError(line.number, column(full),
                     "text after the last cell: the heading names " +
                         std::to_string(fieldCount) + " target field(s)");
  }
  // What is left is the start of a cell that a stopped run never finished;
  // it may be short, but it may not be something else.
  for (std::size_t i = at; i < text.size(); ++i) {
    bool fits = i < at + kRowGap ? text[i] == ' '
                                 : std::string_view(" -.0123456789*")
                                           .find(text[i]) != std::string_view::npos;
    if (!fits) {
      throw InputError(line.number, column(i),
                       "cell is not a number of the form F11.3 (\"" +
                           std::string(text.substr(at)) + "\")");
    }
  }

  if (cellsRead < fieldCount) {
    std::size_t tail = kLeadWidth + cellsRead * kGroupWidth;
    if (line.ended) {
      throw InputError(line.number, column(text.size()),
                       "row ends after " + std::to_string(cellsRead) + " of " +
                           std::to_string(fieldCount) + " cells");
    }
    std::string message = "the last row has no line end (the run ended "
                          "early): " + std::to_string(cellsRead) + " of " +
                          std::to_string(fieldCount) + " cells used";
    if (text.size() > tail) {
      message += ", and the incomplete cell after them is ignored";
    }
    notes.push_back({line.number, column(tail), message});
  } else if (!line.ended) {
    notes.push_back({line.number, column(text.size()),
                     "the last row has no line end; all its cells are used"});
  }

  if (mean.kind == FixedFieldValue::Kind::kAsterisks) {
    notes.push_back({line.number, 1,
                     "mean temperature does not fit its field (asterisks); "
                     "the row is not used"});
    return false;
  }
  row.temperature = mean.value;
  return true;
}

}  // namespace

FixedFieldValue readFixedField(std::string_view text, int decimals) {
  FixedFieldValue result;
  if (!text.empty() && text.find_first_not_of('*') == std::string_view::npos) {
    result.kind = FixedFieldValue::Kind::kAsterisks;
    return result;
  }
  std::size_t i = text.find_first_not_of(' ');
  auto fail = [&](std::size_t at) {
    result.kind = FixedFieldValue::Kind::kInvalid;
    result.errorOffset = static_cast<int>(at < text.size() ? at : text.size());
    return result;
  };
  // A blank field holds no number; point at its last column.
  if (i == std::string_view::npos) {
    return fail(text.empty() ? 0 : text.size() - 1);
  }
  const std::size_t start = i;
  if (text[i] == '-') {
    ++i;
  }
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    ++i;
  }
  if (i == text.size() || text[i] != '.') {
    return fail(i);
  }
  ++i;
  for (int d = 0; d < decimals; ++d, ++i) {
    if (i == text.size() || text[i] < '0' || text[i] > '9') {
      return fail(i);
    }
  }
  if (i != text.size()) {
    return fail(i);
  }
  // from_chars takes neither "-.5" nor a bare "." as such; give it a digit.
  std::string number(text.substr(start));
  std::size_t period = number.find('.');
  if (period == 0 || number[period - 1] == '-') {
    number.insert(period, "0");
  }
  double value = 0.0;
  auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) {
    return fail(start);
  }
  result.kind = FixedFieldValue::Kind::kNumber;
  result.value = value;
  return result;
}

ResultTable parseResultTable(std::string_view bytes) {
  if (bytes.empty()) {
    throw InputError(1, 1, "the file is empty: no heading line");
  }
  ResultTable table;
  std::size_t pos = 0;
  int number = 1;
  Line heading = nextLine(bytes, pos, number);
  table.fields = readHeading(heading);
  if (!heading.ended) {
    table.notes.push_back({heading.number, column(heading.text.size()),
                           "the heading has no line end"});
  }

  // Direction of the temperatures: set by the first two usable rows.
  int direction = 0;
  while (pos < bytes.size()) {
    Line line = nextLine(bytes, pos, ++number);
    TableRow row;
    if (!readRow(line, table.fields.size(), row, table.notes)) {
      continue;
    }
    if (!table.rows.empty()) {
      double previous = table.rows.back().temperature;
      int step = row.temperature > previous ? 1
                 : row.temperature < previous ? -1
                                              : 0;
      if (step == 0 || (direction != 0 && step != direction)) {
        throw InputError(line.number, 1,
                         "mean temperature " +
                             std::string(line.text.substr(0, kLeadWidth)) +
                             " K breaks the order of the rows: temperatures "
                             "must rise (or fall) strictly from row to row");
      }
      direction = step;
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace korvelin::report
