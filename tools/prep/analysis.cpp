#include "analysis.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace prep {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

std::string trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) {
    ++first;
  }
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) {
    --last;
  }
  return std::string(text.substr(first, last - first));
}

// Lower-case runs of letters and digits: "SAMPLE_MASS" gives sample, mass.
std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::string current;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
      current.push_back(
          static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    } else if (!current.empty()) {
      out.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) {
    out.push_back(current);
  }
  return out;
}

bool hasWord(const std::vector<std::string>& list, std::string_view word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

std::string quoted(const std::string& title) { return "\"" + title + "\""; }

// ------------------------------------------------------------ titles

struct Title {
  std::string base;  // the title without its unit
  std::string unit;  // the text in its last parentheses or brackets
};

Title splitTitle(const std::string& title) {
  const std::size_t open = title.find_last_of("([");
  if (open != std::string::npos) {
    const char close = title[open] == '(' ? ')' : ']';
    const std::size_t end = title.find(close, open);
    if (end != std::string::npos) {
      return {trim(std::string_view(title).substr(0, open)),
              trim(std::string_view(title).substr(open + 1, end - open - 1))};
    }
  }
  return {trim(title), ""};
}

// The unit spelled without blanks, dots, stars, carets and with "²" as 2,
// so that "A·m²", "A m^2" and "Am2" all read "am2".
std::string normalUnit(const std::string& unit) {
  std::string out;
  for (std::size_t i = 0; i < unit.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(unit[i]);
    if (c == 0xC2 && i + 1 < unit.size()) {
      const unsigned char next = static_cast<unsigned char>(unit[i + 1]);
      ++i;
      if (next == 0xB2) {
        out.push_back('2');  // superscript two
      } else if (next == 0xB5) {
        out.push_back('u');  // micro sign
      } else if (next == 0xB0) {
        // degree sign: dropped, "°C" is "c"
      }
      continue;
    }
    if (c == ' ' || c == '.' || c == '*' || c == '^' || c == '-') {
      continue;
    }
    out.push_back(static_cast<char>(std::tolower(c)));
  }
  return out;
}

struct UnitScale {
  double scale;
  double offset;
  const char* name;
};

std::optional<UnitScale> unitScale(Quantity quantity, const std::string& unit) {
  const std::string u = normalUnit(unit);
  switch (quantity) {
  case Quantity::kField:
    if (u == "oe" || u == "oersted" || u == "g" || u == "gauss") {
      return UnitScale{1.0, 0.0, "Oe"};
    }
    if (u == "koe") return UnitScale{1.0e3, 0.0, "kOe"};
    if (u == "t" || u == "tesla") return UnitScale{1.0e4, 0.0, "T"};
    if (u == "mt") return UnitScale{10.0, 0.0, "mT"};
    // 1 A/m is 4 pi / 1000 Oe.
    if (u == "a/m") return UnitScale{4.0e-3 * 3.14159265358979323846, 0.0, "A/m"};
    if (u == "ka/m") return UnitScale{4.0 * 3.14159265358979323846, 0.0, "kA/m"};
    return std::nullopt;
  case Quantity::kTemperature:
    if (u == "k" || u == "kelvin") return UnitScale{1.0, 0.0, "K"};
    if (u == "c" || u == "degc" || u == "celsius") {
      return UnitScale{1.0, 273.15, "C"};
    }
    return std::nullopt;
  case Quantity::kMoment:
    if (u == "emu") return UnitScale{1.0, 0.0, "emu"};
    if (u == "memu") return UnitScale{1.0e-3, 0.0, "memu"};
    if (u == "am2") return UnitScale{1.0e3, 0.0, "A m2"};  // 1 A m2 = 1000 emu
    return std::nullopt;
  }
  return std::nullopt;
}

// Neighbouring columns that share a keyword but are not the measurement.
const std::set<std::string> kExcludedWords = {
    "min",    "max",    "std",   "err",      "error",      "status",
    "rate",   "per",    "chamber", "motor",  "set",        "setpoint",
    "range",  "phase",  "quad",  "quadrature", "sweep",    "mass",
    "volume", "stability"};

bool titleFits(Quantity quantity, const std::string& base) {
  const std::vector<std::string> w = words(base);
  for (const std::string& word : w) {
    if (kExcludedWords.count(word) != 0) {
      return false;
    }
  }
  const std::string joined = lower(base);
  switch (quantity) {
  case Quantity::kField:
    return hasWord(w, "field") || joined == "h" || joined == "b" ||
           joined == "mu0h" || joined == "mu0 h";
  case Quantity::kTemperature:
    return std::any_of(w.begin(), w.end(),
                       [](const std::string& x) {
                         return x.rfind("temp", 0) == 0;
                       }) ||
           joined == "t";
  case Quantity::kMoment:
    return hasWord(w, "moment") || joined == "m";
  }
  return false;
}

// The plain names: when one of them carries data it wins over the others.
bool titlePreferred(Quantity quantity, const std::string& base) {
  const std::string b = lower(base);
  switch (quantity) {
  case Quantity::kField:
    return b == "magnetic field" || b == "field" || b == "applied field";
  case Quantity::kTemperature:
    return b == "temperature" || b == "temp" || b == "temp." ||
           b == "sample temperature";
  case Quantity::kMoment:
    return b == "moment" || b == "magnetic moment" || b == "long moment";
  }
  return false;
}

bool columnHasNumbers(const ExportFile& file, int index) {
  return std::any_of(file.rows.begin(), file.rows.end(), [&](const DataRow& r) {
    return static_cast<std::size_t>(index) < r.cells.size() &&
           parseNumber(r.cells[static_cast<std::size_t>(index)]).has_value();
  });
}

Column makeColumn(const ExportFile& file, Quantity quantity, int index) {
  Column column;
  column.index = index;
  column.title = file.titles[static_cast<std::size_t>(index)];
  const Title title = splitTitle(column.title);
  column.unit = title.unit;
  if (const auto scale = unitScale(quantity, title.unit)) {
    column.scale = scale->scale;
    column.offset = scale->offset;
    column.unit = scale->name;
  } else {
    column.unitAssumed = true;
  }
  return column;
}

Column findColumn(const ExportFile& file, Quantity quantity,
                  const std::string& named) {
  const int count = static_cast<int>(file.titles.size());
  if (!named.empty()) {
    if (const auto number = parseNumber(named)) {
      const int index = static_cast<int>(*number) - 1;
      if (*number == std::floor(*number) && index >= 0 && index < count) {
        return makeColumn(file, quantity, index);
      }
      throw PrepError(file.path, file.titleLine,
                      "no column number " + named + " (the titles give " +
                          std::to_string(count) + " columns)");
    }
    for (int i = 0; i < count; ++i) {
      const std::string& title = file.titles[static_cast<std::size_t>(i)];
      if (lower(title) == lower(named) ||
          lower(splitTitle(title).base) == lower(named)) {
        return makeColumn(file, quantity, i);
      }
    }
    throw PrepError(file.path, file.titleLine,
                    "no column titled " + quoted(named));
  }
  std::vector<int> fitting;
  for (int i = 0; i < count; ++i) {
    const Title title = splitTitle(file.titles[static_cast<std::size_t>(i)]);
    if (!titleFits(quantity, title.base)) {
      continue;
    }
    // A unit that is not one of the quantity's belongs to another column,
    // as "(code)" or "(sec)" do.
    if (!title.unit.empty() && !unitScale(quantity, title.unit)) {
      continue;
    }
    fitting.push_back(i);
  }
  std::vector<int> filled;
  std::vector<int> preferred;
  for (int i : fitting) {
    if (!columnHasNumbers(file, i)) {
      continue;
    }
    filled.push_back(i);
    if (titlePreferred(quantity,
                       splitTitle(file.titles[static_cast<std::size_t>(i)]).base)) {
      preferred.push_back(i);
    }
  }
  const std::vector<int>& choice = preferred.empty() ? filled : preferred;
  if (choice.size() == 1) {
    return makeColumn(file, quantity, choice.front());
  }
  Column none;
  none.ambiguous = choice;
  return none;
}

// ------------------------------------------------------------ mass

struct MassUnit {
  const char* name;
  double grams;
};

std::optional<MassUnit> massUnit(std::string_view token) {
  const std::string t = normalUnit(std::string(token));
  if (t == "g" || t == "gram" || t == "grams") return MassUnit{"g", 1.0};
  if (t == "mg" || t == "milligram" || t == "milligrams") {
    return MassUnit{"mg", 1.0e-3};
  }
  if (t == "ug" || t == "microgram" || t == "micrograms") {
    return MassUnit{"ug", 1.0e-6};
  }
  return std::nullopt;
}

// A unit standing alone in a cell, after a number ("12.3 mg") or in
// parentheses ("Mass (mg)").
std::optional<MassUnit> massUnitIn(const std::vector<std::string>& cells) {
  for (const std::string& cell : cells) {
    if (auto unit = massUnit(trim(cell))) {
      return unit;
    }
    if (auto unit = massUnit(splitTitle(cell).unit)) {
      return unit;
    }
    const std::string text = trim(cell);
    const std::size_t blank = text.find(' ');
    if (blank != std::string::npos && parseNumber(text.substr(0, blank))) {
      if (auto unit = massUnit(trim(text.substr(blank + 1)))) {
        return unit;
      }
    }
  }
  return std::nullopt;
}

std::optional<double> leadingNumber(const std::string& cell) {
  const std::string text = trim(cell);
  if (auto number = parseNumber(text)) {
    return number;
  }
  const std::size_t blank = text.find(' ');
  return blank == std::string::npos ? std::nullopt
                                    : parseNumber(text.substr(0, blank));
}

Mass findMass(const ExportFile& file) {
  Mass mass;
  std::optional<MassUnit> unit;
  std::optional<MassUnit> unitLine;
  for (int i = 0; i + 1 < file.titleLine; ++i) {
    const std::vector<std::string> cells =
        splitCells(file.lines[static_cast<std::size_t>(i)], file.delimiter);
    std::vector<std::string> all;
    for (const std::string& cell : cells) {
      for (std::string& w : words(cell)) {
        all.push_back(std::move(w));
      }
    }
    if (!hasWord(all, "mass") || hasWord(all, "per")) {
      continue;
    }
    if (hasWord(all, "unit") || hasWord(all, "units")) {
      unitLine = unitLine ? unitLine : massUnitIn(cells);
      continue;
    }
    if (mass.found) {
      continue;
    }
    for (const std::string& cell : cells) {
      if (auto number = leadingNumber(cell)) {
        mass.found = true;
        mass.value = *number;
        mass.line = i + 1;
        mass.where = "header";
        unit = massUnitIn(cells);
        break;
      }
    }
  }
  if (mass.found) {
    unit = unit ? unit : unitLine;
  } else {
    // Some exports repeat the mass in a column of every row.
    for (std::size_t c = 0; c < file.titles.size() && !mass.found; ++c) {
      const Title title = splitTitle(file.titles[c]);
      const std::vector<std::string> w = words(title.base);
      if (!hasWord(w, "mass") || hasWord(w, "per") || hasWord(w, "moment")) {
        continue;
      }
      for (const DataRow& row : file.rows) {
        if (c < row.cells.size()) {
          if (auto number = parseNumber(row.cells[c])) {
            mass.found = true;
            mass.value = *number;
            mass.line = row.line;
            mass.where = file.titles[c];
            unit = massUnit(title.unit);
            break;
          }
        }
      }
    }
  }
  if (mass.found && unit) {
    mass.unit = unit->name;
    mass.grams = mass.value * unit->grams;
  }
  return mass;
}

// ------------------------------------------------------------ clusters

std::vector<Cluster> makeClusters(const std::vector<Point>& points,
                                  const AnalysisOptions& options) {
  std::vector<std::size_t> order(points.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return points[a].temperature < points[b].temperature;
  });
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k == 0 || points[order[k]].temperature -
                          points[order[k - 1]].temperature >
                      options.clusterGap) {
      groups.emplace_back();
    }
    groups.back().push_back(order[k]);
  }
  std::vector<Cluster> clusters;
  for (std::vector<std::size_t>& group : groups) {
    std::sort(group.begin(), group.end());  // back to file order
    Cluster cluster;
    double sum = 0.0;
    cluster.min = points[group.front()].temperature;
    cluster.max = cluster.min;
    for (std::size_t i : group) {
      cluster.points.push_back(points[i]);
      sum += points[i].temperature;
      cluster.min = std::min(cluster.min, points[i].temperature);
      cluster.max = std::max(cluster.max, points[i].temperature);
    }
    cluster.mean = sum / static_cast<double>(group.size());
    cluster.roundValue =
        std::round(cluster.mean / options.roundStep) * options.roundStep;
    for (double wanted : options.wantedTemperatures) {
      if (!cluster.fromControl || std::fabs(wanted - cluster.mean) <
                                      std::fabs(cluster.roundValue - cluster.mean)) {
        cluster.roundValue = wanted;
        cluster.fromControl = true;
      }
    }
    for (const Point& p : cluster.points) {
      cluster.insideMean +=
          std::fabs(p.temperature - cluster.mean) <= kKorvelinWindow ? 1 : 0;
      cluster.insideRound +=
          std::fabs(p.temperature - cluster.roundValue) <= kKorvelinWindow ? 1
                                                                           : 0;
    }
    cluster.rising = static_cast<int>(korvelinBranch(cluster.points, 1).size());
    cluster.falling =
        static_cast<int>(korvelinBranch(cluster.points, -1).size());
    const std::vector<Point> read(
        cluster.points.begin(),
        cluster.points.begin() +
            std::min<std::ptrdiff_t>(kKorvelinCapacity,
                                     static_cast<std::ptrdiff_t>(
                                         cluster.points.size())));
    const std::vector<std::size_t> risingRead = korvelinBranch(read, 1);
    cluster.risingRead = static_cast<int>(risingRead.size());
    cluster.fallingRead = static_cast<int>(korvelinBranch(read, -1).size());
    for (std::size_t i : risingRead) {
      cluster.risingTopRead = std::max(cluster.risingTopRead, read[i].field);
    }
    clusters.push_back(std::move(cluster));
  }
  return clusters;
}

// ------------------------------------------------------------ findings

void add(Analysis& a, Severity severity, const char* code, int line,
         std::string message) {
  a.findings.push_back({severity, code, line, std::move(message)});
}

std::string valueLabel(const ExportFile& file, int index) {
  std::string label = "value " + std::to_string(index + 1);
  if (static_cast<std::size_t>(index) < file.titles.size()) {
    label += " " + quoted(file.titles[static_cast<std::size_t>(index)]);
  }
  return label;
}

void checkColumns(const ExportFile& file, Analysis& a) {
  for (int q = 0; q < kQuantityCount; ++q) {
    const Column& column = a.columns[q];
    const std::string name = quantityName(static_cast<Quantity>(q));
    if (column.index < 0) {
      if (column.ambiguous.empty()) {
        add(a, Severity::kProblem, "column-missing", file.titleLine,
            "no " + name + " column with data found by its title; name it with --" +
                name + "-column");
      } else {
        std::string list;
        for (int i : column.ambiguous) {
          list += (list.empty() ? "" : ", ") + valueLabel(file, i);
        }
        add(a, Severity::kProblem, "column-ambiguous", file.titleLine,
            "several " + name + " columns hold data (" + list +
                "); name one with --" + name + "-column");
      }
      continue;
    }
    if (column.unitAssumed) {
      add(a, Severity::kWarning, "unit-assumed", file.titleLine,
          "the " + name + " title " + quoted(column.title) +
              " states no known unit; taken as " +
              (q == 0 ? "oersted" : q == 1 ? "kelvin" : "emu"));
    } else if (column.scale != 1.0 || column.offset != 0.0) {
      add(a, Severity::kProblem, "unit", file.titleLine,
          "the " + name + " is in " + column.unit + "; korvelin reads " +
              (q == 0 ? "oersted" : q == 1 ? "kelvin" : "emu"));
    }
  }
  std::string order;
  for (int q = 0; q < kQuantityCount; ++q) {
    const Column& column = a.columns[q];
    if (column.index < 0 || column.index == kKorvelinIndex[q]) {
      continue;
    }
    const std::string name = quantityName(static_cast<Quantity>(q));
    order += (order.empty() ? "" : "; ") + std::string("the ") + name +
             " is " + valueLabel(file, column.index) + " but korvelin reads " +
             valueLabel(file, kKorvelinIndex[q]) + " as the " + name;
  }
  if (!order.empty()) {
    add(a, Severity::kProblem, "column-order", file.titleLine, order);
  }
  // An empty value keeps the one read before it, so an empty column in
  // korvelin's place yields stale numbers, not missing ones.
  for (int q = 0; q < kQuantityCount; ++q) {
    const std::size_t index = static_cast<std::size_t>(kKorvelinIndex[q]);
    const std::string name = quantityName(static_cast<Quantity>(q));
    std::optional<std::string> first;
    bool constant = true;
    bool any = false;
    for (const DataRow& row : file.rows) {
      const std::string cell = index < row.cells.size() ? trim(row.cells[index]) : "";
      if (cell.empty()) {
        continue;
      }
      any = true;
      if (first && *first != cell) {
        constant = false;
      }
      first = first ? first : cell;
    }
    if (!any && !file.rows.empty()) {
      add(a, Severity::kProblem, "empty-column", file.titleLine,
          valueLabel(file, kKorvelinIndex[q]) +
              " is empty in every row: korvelin reads it as the " + name +
              " and keeps the one read before (stale, or zero)");
    } else if (any && constant && file.rows.size() > 2 &&
               q != static_cast<int>(Quantity::kTemperature)) {
      add(a, Severity::kProblem, "constant-column", file.titleLine,
          valueLabel(file, kKorvelinIndex[q]) + " holds " + *first +
              " in every row: korvelin reads it as the " + name);
    }
  }
}

// Words or slashes among the first five values of a data row upset the
// reads: a word starts the five-value read again one value later, a slash
// ends it with the remaining values stale.
void checkRowValues(const ExportFile& file, Analysis& a) {
  int wordRows = 0;
  int wordLine = 0;
  int slashRows = 0;
  int slashLine = 0;
  for (const DataRow& row : file.rows) {
    bool word = false;
    bool slash = false;
    for (std::size_t c = 0; c < 5 && c < row.cells.size(); ++c) {
      const std::string cell = trim(row.cells[c]);
      if (cell.find('/') != std::string::npos) {
        slash = true;
      } else if (!cell.empty() && !parseNumber(cell)) {
        word = true;
      }
    }
    if (word && wordRows++ == 0) {
      wordLine = row.line;
    }
    if (slash && slashRows++ == 0) {
      slashLine = row.line;
    }
  }
  if (wordRows > 0) {
    add(a, Severity::kProblem, "row-words", wordLine,
        std::to_string(wordRows) +
            " data rows hold text among their first five values: korvelin "
            "restarts its read after each and shifts the columns");
  }
  if (slashRows > 0) {
    add(a, Severity::kProblem, "row-slash", slashLine,
        std::to_string(slashRows) +
            " data rows hold a slash among their first five values: "
            "korvelin stops reading the row there and keeps stale values");
  }
}

void checkHeader(Analysis& a) {
  std::set<int> inSets;
  for (const ReplayedSet& set : a.header.sets) {
    for (int l = set.firstLine; l <= set.lastLine; ++l) {
      inSets.insert(l);
    }
    std::string where;
    for (const Cluster& c : a.clusters) {
      if (std::fabs(set.temperature - c.roundValue) <= kKorvelinWindow ||
          std::fabs(set.temperature - c.mean) <= kKorvelinWindow) {
        where = "; its temperature lies in the window of the isotherm at " +
                format("%.2f", c.mean) + " K, where it becomes the first point";
        break;
      }
    }
    const std::string lines =
        set.firstLine == set.lastLine
            ? "line " + std::to_string(set.firstLine)
            : "lines " + std::to_string(set.firstLine) + "-" +
                  std::to_string(set.lastLine);
    add(a, Severity::kProblem, "header-measurement", set.firstLine,
        "korvelin reads the numbers on " + lines +
            " as a measurement: field " + format("%g", set.field) +
            " Oe, temperature " + format("%g", set.temperature) +
            " K, moment " + format("%g", set.moment) + " emu" + where);
  }
  std::map<int, std::string> byLine;
  for (const HeaderNumber& n : a.header.numbers) {
    if (inSets.count(n.line) != 0) {
      continue;
    }
    std::string& list = byLine[n.line];
    list += (list.empty() ? "" : ", ") + n.text;
  }
  for (const auto& [line, list] : byLine) {
    add(a, Severity::kWarning, "header-numbers", line,
        "korvelin reads " + list +
            " on this header line as data; only the word after it makes "
            "korvelin drop the unfinished read");
  }
}

void checkClusters(Analysis& a) {
  if (a.clusters.size() > 1) {
    add(a, Severity::kNote, "several-temperatures", 0,
        "the file holds " + std::to_string(a.clusters.size()) +
            " temperatures; korvelin takes each through its own control-file "
            "entry");
  }
  for (const Cluster& c : a.clusters) {
    const int n = static_cast<int>(c.points.size());
    const int line = c.points.front().line;
    const std::string at = "isotherm at " + format("%.2f", c.mean) + " K";
    if (c.insideMean < n) {
      add(a, Severity::kProblem, "temperature-spread", line,
          at + ": " + std::to_string(n - c.insideMean) + " of " +
              std::to_string(n) +
              " points lie more than 0.25 K from the mean (range " +
              format("%.2f", c.min) + "-" + format("%.2f", c.max) +
              " K); no control-file temperature keeps them all");
    }
    if (c.insideRound < n) {
      add(a, Severity::kProblem, "temperature-window", line,
          at + ": only " + std::to_string(c.insideRound) + " of " +
              std::to_string(n) + " points lie within 0.25 K of " +
              format("%.2f", c.roundValue) +
              (c.fromControl ? " K, the control file's temperature; korvelin "
                               "drops the rest (write the measured mean)"
                             : " K; a control file with that temperature drops "
                               "the rest (write the measured mean)"));
    }
    if (n > kKorvelinCapacity) {
      add(a, Severity::kProblem, "capacity", line,
          at + ": " + std::to_string(n) +
              " points, but korvelin reads only the first 100 of a file: "
              "its rising branch keeps " +
              std::to_string(c.risingRead) + " of " +
              std::to_string(c.rising) + " points (up to " +
              format("%.4g", c.risingTopRead * 1.0e-4) +
              " T), its falling branch " + std::to_string(c.fallingRead) +
              " of " + std::to_string(c.falling));
    }
  }
}

}  // namespace

std::vector<double> readControlTemperatures(const std::string& path) {
  std::vector<std::string> lines;
  {
    std::string content = readFileBytes(path);
    std::string line;
    for (char c : content) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else if (c != '\r') {
        line.push_back(c);
      }
    }
    if (!line.empty()) {
      lines.push_back(line);
    }
  }
  // Values of one line as korvelin's free-form reads split them: blanks and
  // commas; whatever follows the needed values is ignored.
  const auto values = [](const std::string& line) {
    std::vector<double> out;
    std::string token;
    for (std::size_t i = 0; i <= line.size(); ++i) {
      const char c = i < line.size() ? line[i] : ' ';
      if (c == ' ' || c == '\t' || c == ',') {
        if (!token.empty()) {
          const auto number = parseNumber(token);
          if (!number) {
            break;
          }
          out.push_back(*number);
          token.clear();
        }
      } else {
        token.push_back(c);
      }
    }
    return out;
  };
  std::size_t k = 0;
  const auto nonBlank = [&]() {
    while (k < lines.size() && trim(lines[k]).empty()) {
      ++k;
    }
    if (k >= lines.size()) {
      throw PrepError(path, static_cast<int>(k),
                      "the control file ends before its temperatures");
    }
    return values(lines[k++]);
  };
  nonBlank();  // mass
  const std::vector<double> counts = nonBlank();
  if (counts.empty()) {
    throw PrepError(path, static_cast<int>(k), "no field count");
  }
  std::size_t fields = 0;
  const std::size_t fieldCount =
      counts[0] > 0 ? static_cast<std::size_t>(counts[0]) : 0;
  do {
    fields += nonBlank().size();
  } while (fields < fieldCount);
  std::vector<double> temperatures;
  while (temperatures.size() < 100) {
    while (k < lines.size() && trim(lines[k]).empty()) {
      ++k;
    }
    if (k >= lines.size()) {
      break;
    }
    const std::vector<double> t = values(lines[k]);
    if (t.empty()) {
      throw PrepError(path, static_cast<int>(k + 1), "no temperature");
    }
    temperatures.push_back(t[0]);
    k += 2;  // the temperature and the file name
  }
  return temperatures;
}

const char* quantityName(Quantity quantity) {
  switch (quantity) {
  case Quantity::kField: return "field";
  case Quantity::kTemperature: return "temperature";
  case Quantity::kMoment: return "moment";
  }
  return "?";
}

const char* severityName(Severity severity) {
  switch (severity) {
  case Severity::kProblem: return "problem";
  case Severity::kWarning: return "warning";
  case Severity::kNote: return "note";
  }
  return "?";
}

bool Analysis::usable() const {
  return std::all_of(std::begin(columns), std::end(columns),
                     [](const Column& c) { return c.index >= 0; });
}

int Analysis::problemCount() const {
  return static_cast<int>(
      std::count_if(findings.begin(), findings.end(), [](const Finding& f) {
        return f.severity == Severity::kProblem;
      }));
}

std::vector<std::size_t> korvelinBranch(const std::vector<Point>& points,
                                        int sign) {
  const auto tesla = [](double oersted) {
    return std::fabs(oersted) < kKorvelinLowField ? 0.0 : oersted * 1.0e-4;
  };
  std::vector<std::size_t> branch;
  for (std::size_t k = 1; k < points.size(); ++k) {
    const double step = tesla(points[k].field) - tesla(points[k - 1].field);
    if (static_cast<double>(sign) * step > 0.0) {
      if (branch.empty()) {
        branch.push_back(0);
      }
      branch.push_back(k);
    }
  }
  return branch;
}

Analysis analyseExport(const ExportFile& file, const AnalysisOptions& options) {
  Analysis a;
  a.path = file.path;
  a.titleLine = file.titleLine;
  a.rowCount = static_cast<int>(file.rows.size());
  if (file.rows.empty()) {
    throw PrepError(file.path, file.titleLine, "no data rows after the titles");
  }
  a.firstDataLine = file.rows.front().line;
  a.lastDataLine = file.rows.back().line;
  for (int q = 0; q < kQuantityCount; ++q) {
    a.columns[q] = findColumn(file, static_cast<Quantity>(q),
                              options.columnNames[q]);
  }
  a.mass = findMass(file);
  a.header = replayHeader(file.content, a.firstDataLine);

  if (a.usable()) {
    std::vector<Point> points;
    int firstSkipped = 0;
    for (const DataRow& row : file.rows) {
      double values[kQuantityCount] = {};
      bool complete = true;
      for (int q = 0; q < kQuantityCount; ++q) {
        const std::size_t index = static_cast<std::size_t>(a.columns[q].index);
        const std::optional<double> number =
            index < row.cells.size() ? parseNumber(row.cells[index])
                                     : std::nullopt;
        complete = complete && number.has_value();
        values[q] = number.value_or(0.0) * a.columns[q].scale +
                    a.columns[q].offset;
      }
      if (!complete) {
        firstSkipped = a.skippedRows++ == 0 ? row.line : firstSkipped;
        continue;
      }
      points.push_back({row.line, values[0], values[1], values[2]});
    }
    if (a.skippedRows > 0) {
      add(a, Severity::kWarning, "incomplete-rows", firstSkipped,
          std::to_string(a.skippedRows) +
              " data rows lack a number in the field, temperature or moment "
              "column and are left out");
    }
    const bool constant =
        points.size() > 2 &&
        std::all_of(points.begin(), points.end(), [&](const Point& p) {
          return p.moment == points.front().moment;
        });
    // korvelin's own value 5 is looked at below; this is the column found.
    if (constant && a.columns[2].index != kKorvelinIndex[2]) {
      add(a, Severity::kProblem, "constant-column", file.titleLine,
          "the moment column " + quoted(a.columns[2].title) +
              " holds the same value in every row");
    }
    a.clusters = makeClusters(points, options);
  }
  checkColumns(file, a);
  checkRowValues(file, a);
  checkHeader(a);
  checkClusters(a);
  if (!a.mass.found) {
    add(a, Severity::kWarning, "mass-missing", 0,
        "no sample mass in the header or the columns; convert needs --mass");
  } else if (!a.mass.grams) {
    add(a, Severity::kWarning, "mass-unit-missing", a.mass.line,
        "the sample mass " + format("%g", a.mass.value) +
            " states no unit; convert needs --mass-unit or --mass");
  }
  std::stable_sort(a.findings.begin(), a.findings.end(),
                   [](const Finding& x, const Finding& y) {
                     return x.severity < y.severity;
                   });
  return a;
}

}  // namespace prep
