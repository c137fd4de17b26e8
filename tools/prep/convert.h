// Turns analysed exports into files korvelin reads as intended: one file per
// isotherm holding the chosen sweep branch (at most 100 points, in oersted,
// kelvin and emu at values 3 to 5, under a header of words only) and a
// KORVELIN.inp naming them with their measured mean temperatures.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis.h"

namespace prep {

enum class Sweep { kUp, kDown };

struct ConvertOptions {
  std::string outDir;
  bool force = false;
  std::vector<double> fields;  // tesla; empty: chosen from the data
  Sweep sweep = Sweep::kUp;
  std::optional<double> massGrams;     // overrides the exports' mass
  std::optional<double> massUnitGrams;  // for a mass given without unit
  double clusterGap = 0.5;             // K; closer isotherms are refused
};

struct OutputFile {
  std::string name;
  std::string content;
};

struct ConversionPlan {
  std::vector<OutputFile> files;  // the isotherms, then KORVELIN.inp
  double massGrams = 0.0;
  std::vector<double> fields;
  std::vector<double> temperatures;
  std::vector<std::string> notes;     // what was done, one line each
  std::vector<std::string> warnings;  // what korvelin will still do oddly
};

/// Everything convert would write, without touching the disk. Raises
/// PrepError when an export cannot be converted (a column not found, no
/// mass, no isotherm with a branch of the sweep direction, isotherms too
/// close, too many).
ConversionPlan planConversion(const std::vector<Analysis>& files,
                              const ConvertOptions& options);

/// Writes the plan into options.outDir (created when missing). Refuses a
/// folder that already holds files unless options.force, and always refuses
/// to write over one of `inputs`. Raises PrepError.
void writeConversion(const ConversionPlan& plan, const ConvertOptions& options,
                     const std::vector<std::string>& inputs);

/// The points of the longest run of steps of the sweep's sign (first run on
/// a tie), without those below -100 Oe, thinned evenly to at most 100.
/// Indices into `points`, in file order.
std::vector<std::size_t> selectBranch(const std::vector<Point>& points,
                                      Sweep sweep);

/// n indices spread evenly over [0, size), first and last included.
std::vector<std::size_t> evenIndices(std::size_t size, std::size_t n);

}  // namespace prep
