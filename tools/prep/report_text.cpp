#include <algorithm>
#include <cstdio>
#include <string>

#include "report.h"

namespace prep {
namespace {

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

// Columns padded to their widest cell; cells of the columns marked in
// `right` are right-aligned so that numbers line up on their last digit.
void writeTable(std::ostream& out, const std::string& indent,
                const std::vector<std::vector<std::string>>& rows,
                const std::vector<bool>& right) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], row[c].size());
    }
  }
  for (const auto& row : rows) {
    std::string line = indent;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(widths[c] - row[c].size(), ' ');
      const bool alignRight = c < right.size() && right[c];
      line += c == 0 ? "" : "  ";
      line += alignRight ? pad + row[c] : row[c] + pad;
    }
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    out << line << '\n';
  }
}

void writeFile(std::ostream& out, const Analysis& a) {
  out << a.path << '\n';
  out << "  titles on line " << a.titleLine << ", " << a.rowCount
      << " data rows (lines " << a.firstDataLine << '-' << a.lastDataLine
      << ")\n";
  std::vector<std::vector<std::string>> columns = {
      {"column", "korvelin reads", "found", "title", "unit"}};
  for (int q = 0; q < kQuantityCount; ++q) {
    const Column& c = a.columns[q];
    std::vector<std::string> row = {
        quantityName(static_cast<Quantity>(q)),
        "value " + std::to_string(kKorvelinIndex[q] + 1)};
    if (c.index < 0) {
      row.push_back(c.ambiguous.empty() ? "none" : "ambiguous");
      row.push_back("");
      row.push_back("");
    } else {
      row.push_back("value " + std::to_string(c.index + 1));
      row.push_back("\"" + c.title + "\"");
      row.push_back(c.unitAssumed ? "assumed" : c.unit);
    }
    columns.push_back(row);
  }
  writeTable(out, "  ", columns, {});
  out << "  sample mass: ";
  if (!a.mass.found) {
    out << "not found\n";
  } else {
    out << format("%g", a.mass.value) << ' '
        << (a.mass.unit.empty() ? "(no unit)" : a.mass.unit);
    if (a.mass.grams && a.mass.unit != "g") {
      out << " = " << format("%g", *a.mass.grams) << " g";
    }
    out << " (" << a.mass.where << ", line " << a.mass.line << ")\n";
  }
  if (!a.clusters.empty()) {
    out << "  isotherms (window 0.25 K, korvelin reads 100 points a file):\n";
    const bool control = a.clusters.front().fromControl;
    std::vector<std::vector<std::string>> table = {
        {"mean K", "spread K", "points", "near mean",
         control ? "control K" : "round K",
         control ? "near control" : "near round", "rising", "falling"}};
    for (const Cluster& c : a.clusters) {
      table.push_back({format("%.3f", c.mean), format("%.3f", c.max - c.min),
                       std::to_string(c.points.size()),
                       std::to_string(c.insideMean),
                       format("%.2f", c.roundValue),
                       std::to_string(c.insideRound), std::to_string(c.rising),
                       std::to_string(c.falling)});
    }
    writeTable(out, "    ", table, std::vector<bool>(8, true));
  }
  if (a.findings.empty()) {
    out << "  no findings\n";
  }
  for (const Finding& f : a.findings) {
    out << "  " << a.path << ':';
    if (f.line > 0) {
      out << f.line << ':';
    }
    out << ' ' << severityName(f.severity) << ": " << f.message << " ["
        << f.code << "]\n";
  }
}

}  // namespace

void writeTextReport(std::ostream& out, const std::vector<Analysis>& files) {
  int problems = 0;
  int warnings = 0;
  for (const Analysis& a : files) {
    writeFile(out, a);
    out << '\n';
    problems += a.problemCount();
    warnings += static_cast<int>(
        std::count_if(a.findings.begin(), a.findings.end(), [](const Finding& f) {
          return f.severity == Severity::kWarning;
        }));
  }
  out << files.size() << (files.size() == 1 ? " file, " : " files, ")
      << problems << (problems == 1 ? " problem, " : " problems, ") << warnings
      << (warnings == 1 ? " warning" : " warnings")
      << (problems == 0 ? ": korvelin reads the exports as they are\n"
                        : ": run korvelin-prep convert first\n");
}

}  // namespace prep
