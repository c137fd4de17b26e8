#include "convert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace prep {
namespace {

namespace fs = std::filesystem;

std::string format(const char* pattern, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, pattern, value);
  return buffer;
}

struct Isotherm {
  const Analysis* source;
  const Cluster* cluster;
  std::vector<Point> branch;  // as written
  std::size_t branchPoints = 0;  // before thinning
};

// korvelin reads any digit, slash or quote on a header line as data, so the
// header is words only.
std::string isothermFile(const Isotherm& iso, Sweep sweep) {
  std::string text =
      "Converted magnetometer export for korvelin\r\n"
      "Field in oersted, temperature in kelvin, moment in emu\r\n";
  text += sweep == Sweep::kUp ? "Rising field branch of one isotherm\r\n"
                              : "Falling field branch of one isotherm\r\n";
  text += "Point,Source line,Field,Temperature,Moment\r\n";
  int number = 0;
  for (const Point& p : iso.branch) {
    text += std::to_string(++number) + "," + std::to_string(p.line) + "," +
            format("%.4f", p.field) + "," + format("%.4f", p.temperature) +
            "," + format("%.7E", p.moment) + "\r\n";
  }
  return text;
}

double usableTop(const Isotherm& iso, Sweep sweep) {
  // A falling branch starts at its top, and korvelin gives its first point
  // a zero moment: the interval below the top is wrong, so it is not used.
  if (sweep == Sweep::kDown) {
    return iso.branch.size() > 1 ? iso.branch[1].field : 0.0;
  }
  return iso.branch.back().field;
}

std::vector<double> defaultFields(double topTesla) {
  // korvelin counts a point up to 0.01 T above a target field as reached.
  const double reach = topTesla + 0.01;
  for (double step : {1.0, 0.5, 0.2, 0.1, 0.05, 0.02, 0.01}) {
    if (reach < 3.0 * step) {
      continue;
    }
    std::vector<double> fields;
    for (int k = 1; k * step <= reach && fields.size() < 20; ++k) {
      fields.push_back(k * step);
    }
    return fields;
  }
  return {};
}

}  // namespace

std::vector<std::size_t> evenIndices(std::size_t size, std::size_t n) {
  std::vector<std::size_t> out;
  if (size <= n) {
    for (std::size_t i = 0; i < size; ++i) {
      out.push_back(i);
    }
    return out;
  }
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(static_cast<std::size_t>(std::llround(
        static_cast<double>(i) * static_cast<double>(size - 1) /
        static_cast<double>(n - 1))));
  }
  return out;
}

std::vector<std::size_t> selectBranch(const std::vector<Point>& points,
                                      Sweep sweep) {
  const double sign = sweep == Sweep::kUp ? 1.0 : -1.0;
  std::size_t bestStart = 0;
  std::size_t bestLength = 0;
  std::size_t start = 0;
  for (std::size_t k = 1; k <= points.size(); ++k) {
    const bool goesOn =
        k < points.size() &&
        sign * (points[k].field - points[k - 1].field) > 0.0;
    if (goesOn) {
      continue;
    }
    const std::size_t length = k - start;
    if (length >= 2 && length > bestLength) {
      bestStart = start;
      bestLength = length;
    }
    start = k;
  }
  std::vector<std::size_t> run;
  for (std::size_t k = bestStart; k < bestStart + bestLength; ++k) {
    // korvelin's branch runs from zero field up; the negative side of a
    // loop has no place in it.
    if (points[k].field > -kKorvelinLowField) {
      run.push_back(k);
    }
  }
  std::vector<std::size_t> out;
  for (std::size_t i :
       evenIndices(run.size(), static_cast<std::size_t>(kKorvelinCapacity))) {
    out.push_back(run[i]);
  }
  return out;
}

ConversionPlan planConversion(const std::vector<Analysis>& files,
                              const ConvertOptions& options) {
  ConversionPlan plan;
  const char* direction = options.sweep == Sweep::kUp ? "rising" : "falling";

  // The mass: the user's, or the one every export agrees on.
  std::optional<double> mass = options.massGrams;
  std::string massFrom = "--mass";
  for (const Analysis& a : files) {
    if (options.massGrams || !a.mass.found) {
      continue;
    }
    std::optional<double> grams = a.mass.grams;
    if (!grams && options.massUnitGrams) {
      grams = a.mass.value * *options.massUnitGrams;
    }
    if (!grams) {
      throw PrepError(a.path, a.mass.line,
                      "the sample mass states no unit; give --mass-unit or "
                      "--mass");
    }
    if (mass && std::fabs(*grams - *mass) > 1.0e-6 * std::fabs(*mass)) {
      throw PrepError(a.path, a.mass.line,
                      "the sample mass " + format("%g", *grams) +
                          " g differs from " + format("%g", *mass) +
                          " g in " + massFrom + "; give --mass");
    }
    mass = grams;
    massFrom = a.path;
  }
  if (!mass) {
    throw PrepError(files.empty() ? "" : files.front().path, 0,
                    "no sample mass in the exports; give --mass GRAMS");
  }
  if (!(*mass > 0.0)) {
    throw PrepError(massFrom, 0, "the sample mass must be above zero");
  }
  plan.massGrams = *mass;

  std::vector<Isotherm> isotherms;
  for (const Analysis& a : files) {
    for (int q = 0; q < kQuantityCount; ++q) {
      if (a.columns[q].index < 0) {
        const std::string name = quantityName(static_cast<Quantity>(q));
        throw PrepError(a.path, a.titleLine,
                        std::string(a.columns[q].ambiguous.empty()
                                        ? "no "
                                        : "more than one ") +
                            name + " column; name it with --" + name +
                            "-column");
      }
    }
    for (const Cluster& c : a.clusters) {
      Isotherm iso{&a, &c, {}, 0};
      const std::vector<std::size_t> chosen = selectBranch(c.points, options.sweep);
      if (chosen.size() < 2) {
        // Stray points taken while the temperature moved form clusters of
        // their own; they carry no sweep and are no isotherm.
        plan.warnings.push_back(a.path + ":" +
                                std::to_string(c.points.front().line) +
                                ": " + std::to_string(c.points.size()) +
                                (c.points.size() == 1 ? " point" : " points") +
                                " at " + format("%.2f", c.mean) + " K, no " +
                                direction + " sweep; left out");
        continue;
      }
      for (std::size_t i : chosen) {
        iso.branch.push_back(c.points[i]);
      }
      // The run before thinning, for the note.
      std::size_t length = 0;
      for (std::size_t k = chosen.front(); k <= chosen.back(); ++k) {
        length += c.points[k].field > -kKorvelinLowField ? 1 : 0;
      }
      iso.branchPoints = length;
      isotherms.push_back(std::move(iso));
    }
  }
  if (isotherms.empty()) {
    throw PrepError(files.empty() ? "" : files.front().path, 0,
                    std::string("no isotherm with a ") + direction + " sweep");
  }
  std::stable_sort(isotherms.begin(), isotherms.end(),
                   [](const Isotherm& x, const Isotherm& y) {
                     return x.cluster->mean < y.cluster->mean;
                   });
  for (std::size_t i = 1; i < isotherms.size(); ++i) {
    const Isotherm& low = isotherms[i - 1];
    const Isotherm& high = isotherms[i];
    if (high.cluster->mean - low.cluster->mean <= options.clusterGap) {
      throw PrepError(high.source->path, high.cluster->points.front().line,
                      "the isotherm at " + format("%.3f", high.cluster->mean) +
                          " K lies within " + format("%g", options.clusterGap) +
                          " K of the one at " +
                          format("%.3f", low.cluster->mean) + " K in " +
                          low.source->path +
                          "; korvelin divides by their difference");
    }
  }
  if (isotherms.size() > 100) {
    throw PrepError(files.front().path, 0,
                    std::to_string(isotherms.size()) +
                        " isotherms; korvelin takes at most 100");
  }

  double top = 0.0;
  for (std::size_t i = 0; i < isotherms.size(); ++i) {
    const Isotherm& iso = isotherms[i];
    const double t = iso.cluster->mean;
    const std::string name = "T" + format("%.2f", t) + "K.dat";
    plan.files.push_back({name, isothermFile(iso, options.sweep)});
    plan.temperatures.push_back(t);
    const double isoTop = usableTop(iso, options.sweep);
    top = i == 0 ? isoTop : std::min(top, isoTop);
    std::string note = name + ": " + direction + " branch of " +
                       iso.source->path + " lines " +
                       std::to_string(iso.branch.front().line) + "-" +
                       std::to_string(iso.branch.back().line) + ", " +
                       std::to_string(iso.branch.size()) + " points";
    if (iso.branch.size() < iso.branchPoints) {
      note += " (thinned evenly from " + std::to_string(iso.branchPoints) +
              " to korvelin's 100)";
    }
    plan.notes.push_back(note);
    int outside = 0;
    for (const Point& p : iso.branch) {
      outside += std::fabs(p.temperature - t) > kKorvelinWindow ? 1 : 0;
    }
    if (outside > 0) {
      plan.warnings.push_back(name + ": " + std::to_string(outside) +
                              " points lie more than 0.25 K from the mean; "
                              "korvelin will skip them");
    }
    const double first = iso.branch.front().field;
    if (options.sweep == Sweep::kUp && std::fabs(first) >= kKorvelinLowField) {
      plan.warnings.push_back(
          name + ": the branch starts at " + format("%.4g", first * 1.0e-4) +
          " T; korvelin integrates from there and takes its moment as zero");
    }
  }

  plan.fields = options.fields;
  if (plan.fields.empty()) {
    plan.fields = defaultFields(top * 1.0e-4);
    if (plan.fields.empty()) {
      throw PrepError(files.front().path, 0,
                      "the branches reach only " +
                          format("%.4g", top * 1.0e-4) +
                          " T; give --fields");
    }
  }
  for (double b : plan.fields) {
    if (b > top * 1.0e-4 + 0.01) {
      plan.warnings.push_back(
          "target field " + format("%g", b) + " T lies above " +
          format("%.4g", top * 1.0e-4) +
          (options.sweep == Sweep::kDown
               ? " T, the second point of a falling branch (korvelin takes "
                 "the first point's moment as zero)"
               : " T, the top of the lowest-reaching branch; korvelin does "
                 "not extrapolate"));
    }
  }

  std::string control = format("%.6g", plan.massGrams) + "\r\n" +
                        std::to_string(plan.fields.size()) +
                        (options.sweep == Sweep::kUp ? " 1" : " -1") + "\r\n";
  for (std::size_t j = 0; j < plan.fields.size(); ++j) {
    control += (j == 0 ? "" : " ") + format("%g", plan.fields[j]);
  }
  control += "\r\n";
  for (std::size_t i = 0; i < isotherms.size(); ++i) {
    control += format("%.3f", plan.temperatures[i]) + "\r\n" +
               plan.files[i].name + "\r\n";
  }
  plan.files.push_back({"KORVELIN.inp", control});
  return plan;
}

void writeConversion(const ConversionPlan& plan, const ConvertOptions& options,
                     const std::vector<std::string>& inputs) {
  const fs::path dir(options.outDir);
  std::error_code error;
  if (fs::exists(dir, error)) {
    if (!fs::is_directory(dir, error)) {
      throw PrepError(options.outDir, 0, "not a folder");
    }
    if (!options.force && !fs::is_empty(dir, error)) {
      throw PrepError(options.outDir, 0,
                      "the output folder already holds files; choose an "
                      "empty one or give --force");
    }
  } else if (!fs::create_directories(dir, error) || error) {
    throw PrepError(options.outDir, 0,
                    "cannot create the folder: " + error.message());
  }
  // Checked for every file before the first is written, so that a refusal
  // leaves nothing half done.
  for (const OutputFile& file : plan.files) {
    const fs::path target = dir / file.name;
    for (const std::string& input : inputs) {
      if (fs::exists(target, error) && fs::equivalent(target, input, error)) {
        throw PrepError(target.string(), 0,
                        "is one of the exports being converted; it is never "
                        "written over");
      }
    }
  }
  for (const OutputFile& file : plan.files) {
    const fs::path target = dir / file.name;
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << file.content;
    out.close();
    if (!out) {
      throw PrepError(target.string(), 0, "cannot write the file");
    }
  }
}

}  // namespace prep
