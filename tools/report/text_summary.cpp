#include "text_summary.h"

#include <algorithm>
#include <vector>

#include "number_text.h"

namespace korvelin::report {
namespace {

constexpr const char* kEntropyUnit = "J·kg⁻¹·K⁻¹";
constexpr const char* kEnergyUnit = "J·kg⁻¹";
constexpr const char* kNone = "-";

struct Column {
  std::string name;
  std::string unit;
  std::vector<std::string> cells;
};

// Right-aligns every column to its widest entry, two blanks apart.
std::string layOut(const std::vector<Column>& columns) {
  std::vector<std::size_t> widths;
  std::size_t rows = columns.empty() ? 0 : columns.front().cells.size();
  for (const Column& c : columns) {
    std::size_t w = std::max(displayWidth(c.name), displayWidth(c.unit));
    for (const std::string& cell : c.cells) {
      w = std::max(w, displayWidth(cell));
    }
    widths.push_back(w);
  }
  auto line = [&](auto textOf) {
    std::string out;
    for (std::size_t k = 0; k < columns.size(); ++k) {
      std::string text = textOf(columns[k]);
      out += std::string(2 + widths[k] - displayWidth(text), ' ') + text;
    }
    out.erase(out.find_last_not_of(' ') + 1);
    return out + "\n";
  };
  std::string out = line([](const Column& c) { return c.name; });
  out += line([](const Column& c) { return c.unit; });
  for (std::size_t r = 0; r < rows; ++r) {
    out += line([r](const Column& c) { return c.cells[r]; });
  }
  return out;
}

std::string boundText(const Crossing& crossing, char side) {
  std::string text = fixed(crossing.temperature, 3);
  return crossing.inData ? text : side + text;
}

}  // namespace

std::string formatTextSummary(const SummarySource& source) {
  const ResultTable& table = *source.table;
  const ReportFigures& figures = *source.figures;
  std::string out = "Figures of merit from " + source.tableName + "\n";
  if (table.rows.empty()) {
    out += "  no data rows";
  } else {
    auto [low, high] = std::minmax(table.rows.front().temperature,
                                   table.rows.back().temperature);
    out += "  " + std::to_string(table.rows.size()) +
           (table.rows.size() == 1 ? " row at " : " rows from ") +
           fixed(low, 3) + " K" +
           (table.rows.size() == 1 ? "" : " to " + fixed(high, 3) + " K");
  }
  out += ", " + std::to_string(table.fields.size()) + " target field" +
         (table.fields.size() == 1 ? "" : "s") + "\n";
  if (!source.controlName.empty()) {
    out += "  sample mass " + machineNumber(source.mass) +
           " g and target fields from " + source.controlName + "\n";
  }
  out += "\n";

  std::vector<Column> columns = {
      {"B", "T", {}},          {"peak", kEntropyUnit, {}},
      {"T(peak)", "K", {}},    {"T(half) cold", "K", {}},
      {"T(half) hot", "K", {}}, {"FWHM", "K", {}},
      {"RCP", kEnergyUnit, {}}, {"RC", kEnergyUnit, {}}};
  for (double w : figures.tecWidths) {
    columns.push_back({"TEC(" + widthText(w) + " K)", kEntropyUnit, {}});
  }
  columns.push_back({"n", "1", {}});

  bool anyBound = false;
  std::vector<std::string> notes;
  // Per TEC width, the fields whose data are too narrow for it.
  std::vector<std::vector<std::string>> tecShort(figures.tecWidths.size());
  for (const InputNote& note : table.notes) {
    notes.push_back(source.tableName + ":" + std::to_string(note.line) + ":" +
                    std::to_string(note.column) + ": " + note.message);
  }
  for (const FieldFigures& f : figures.fields) {
    std::string field = fieldText(f.field);
    std::vector<std::string> row(columns.size(), kNone);
    row[0] = field;
    if (f.peak) {
      row[1] = fixed(f.peak->value, 3);
      row[2] = fixed(f.peak->temperature, 3);
    }
    if (f.halfMaximum) {
      const HalfMaximum& half = *f.halfMaximum;
      std::string bound = half.exact() ? "" : ">";
      anyBound = anyBound || !half.exact();
      row[3] = boundText(half.cold, '<');
      row[4] = boundText(half.hot, '>');
      row[5] = bound + fixed(half.width(), 3);
      row[6] = bound + fixed(f.rcp, 2);
      row[7] = bound + fixed(f.rc, 2);
    } else if (f.peak && f.peak->value <= 0.0) {
      notes.push_back("field " + field + " T: no positive peak, so no "
                      "FWHM, RCP or RC");
    }
    for (std::size_t k = 0; k < f.tec.size(); ++k) {
      if (f.tec[k]) {
        row[8 + k] = fixed(f.tec[k]->value, 3);
      } else if (f.cellsUsed > 0) {
        tecShort[k].push_back(field);
      }
    }
    if (f.exponent) {
      row.back() = fixed(f.exponent->value, 3);
    }
    if (f.cellsMissing > 0 && f.cellsUsed > 0) {
      notes.push_back("field " + field + " T: " +
                      std::to_string(f.cellsMissing) + " of " +
                      std::to_string(f.cellsMissing + f.cellsUsed) +
                      " cells missing (asterisks or never written); the "
                      "curve runs through the others");
    } else if (f.cellsUsed == 0 && !table.rows.empty()) {
      notes.push_back("field " + field + " T: no cell holds a value");
    }
    for (std::size_t k = 0; k < columns.size(); ++k) {
      columns[k].cells.push_back(row[k]);
    }
  }
  for (std::size_t k = 0; k < tecShort.size(); ++k) {
    if (tecShort[k].empty()) {
      continue;
    }
    std::string width = widthText(figures.tecWidths[k]);
    std::string list;
    for (const std::string& field : tecShort[k]) {
      if (!list.empty()) {
        list += ", ";
      }
      list += field;
    }
    notes.push_back("no TEC(" + width + " K) at " + list +
                    " T: the data span less than " + width + " K");
  }
  if (figures.fields.empty()) {
    out += "  the table has no target fields\n";
  } else {
    out += layOut(columns);
  }

  out += "\n"
         "peak: largest -ΔS_M of the column. FWHM: width at half the peak, "
         "crossings\n"
         "interpolated linearly. RCP = peak × FWHM. RC = ∫|ΔS_M| dT between "
         "the two\n"
         "half-maximum temperatures. TEC(ΔT): largest mean of |ΔS_M| over a "
         "ΔT-wide\n"
         "window inside the data. n = d ln|ΔS_M| / d ln B against the next "
         "lower field,\n"
         "at this field's peak temperature.\n";
  if (anyBound) {
    out += "< >: the curve does not fall to half its peak within the data on "
           "that side;\n"
           "the end of the data is shown, and FWHM, RCP and RC are lower "
           "bounds.\n";
  }
  if (!notes.empty()) {
    out += "\nNotes:\n";
    for (const std::string& note : notes) {
      out += "  " + note + "\n";
    }
  }
  return out;
}

}  // namespace korvelin::report
