#include "csv_summary.h"

#include <vector>

#include "number_text.h"

namespace korvelin::report {
namespace {

constexpr const char* kEntropyUnit = "J·kg⁻¹·K⁻¹";
constexpr const char* kEnergyUnit = "J·kg⁻¹";

std::string widthKind(const HalfMaximum& half) {
  if (half.exact()) {
    return "exact";
  }
  if (!half.cold.inData && !half.hot.inData) {
    return "lower bound: both crossings outside the data";
  }
  return half.cold.inData ? "lower bound: hot crossing above the data"
                          : "lower bound: cold crossing below the data";
}

std::string csvQuoted(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string out = "\"";
  for (char c : text) {
    out += c;
    if (c == '"') {
      out += '"';
    }
  }
  return out + "\"";
}

}  // namespace

std::string formatCsvSummary(const SummarySource& source) {
  const ReportFigures& figures = *source.figures;
  std::vector<std::string> header = {
      "B (T)",
      std::string("peak (") + kEntropyUnit + ")",
      "T_peak (K)",
      "T_half_cold (K)",
      "T_half_hot (K)",
      "FWHM (K)",
      std::string("RCP (") + kEnergyUnit + ")",
      std::string("RC (") + kEnergyUnit + ")",
      "width"};
  for (double w : figures.tecWidths) {
    header.push_back("TEC(" + widthText(w) + " K) (" + kEntropyUnit + ")");
    header.push_back("TEC(" + widthText(w) + " K) centre (K)");
  }
  for (const char* name :
       {"n", "n lower field (T)", "n temperature (K)", "cells used",
        "cells missing"}) {
    header.push_back(name);
  }

  auto record = [](const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (k > 0) {
        line += ',';
      }
      line += csvQuoted(fields[k]);
    }
    return line + "\r\n";
  };
  std::string out = record(header);
  for (const FieldFigures& f : figures.fields) {
    std::vector<std::string> row;
    row.push_back(f.field ? machineNumber(*f.field) : "");
    row.push_back(f.peak ? machineNumber(f.peak->value) : "");
    row.push_back(f.peak ? machineNumber(f.peak->temperature) : "");
    if (f.halfMaximum) {
      const HalfMaximum& half = *f.halfMaximum;
      row.push_back(half.cold.inData ? machineNumber(half.cold.temperature)
                                     : "");
      row.push_back(half.hot.inData ? machineNumber(half.hot.temperature) : "");
      row.push_back(machineNumber(half.width()));
      row.push_back(machineNumber(f.rcp));
      row.push_back(machineNumber(f.rc));
      row.push_back(widthKind(half));
    } else {
      row.insert(row.end(), 6, "");
    }
    for (const std::optional<Tec>& tec : f.tec) {
      row.push_back(tec ? machineNumber(tec->value) : "");
      row.push_back(tec ? machineNumber(tec->centre) : "");
    }
    if (f.exponent) {
      row.push_back(machineNumber(f.exponent->value));
      row.push_back(machineNumber(f.exponent->lowerField));
      row.push_back(machineNumber(f.exponent->temperature));
    } else {
      row.insert(row.end(), 3, "");
    }
    row.push_back(std::to_string(f.cellsUsed));
    row.push_back(std::to_string(f.cellsMissing));
    out += record(row);
  }
  return out;
}

}  // namespace korvelin::report
