// Small magnetometer exports of the mean-field sample in the layouts that
// current instruments write, each with one of the habits that korvelin
// misreads, plus a clean one. Used by the unit tests (in memory) and by the
// end-to-end test (written to disk by make_prep_variants).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace prep::variants {

enum class Variant {
  kClean,             // korvelin's layout: field, temperature, moment at 3-5
  kTemperatureFirst,  // the temperature column stands before the field
  kEmptyMoment,       // "Moment (emu)" empty, the moment in a DC column
  kDrift,             // temperatures 0.2-0.3 K away from the set point
  kSwept,             // continuous sweeps, 401 rising and 400 falling rows
  kHeaderNumbers,     // numbers on header lines, the mass among them
};

std::span<const Variant> allVariants();
const char* variantName(Variant variant);
std::optional<Variant> variantFromName(std::string_view name);

struct ExportFileText {
  std::string name;
  std::string content;
};

struct ExportSet {
  std::vector<ExportFileText> files;
  /// The control file a user would write for the raw exports: the nominal
  /// temperatures, the mass in grams, 1 to 5 T, rising sweeps.
  std::string rawControlFile;
  std::vector<double> nominalTemperatures;
};

/// The same seed gives the same bytes on every build.
ExportSet makeExportSet(Variant variant);

/// -dS_M in J/(kg K) between t1 and t2 at b tesla from the noiseless model:
/// trapezoids on a 50 Oe grid from zero field, the same definition korvelin
/// applies to measured branches.
double modelEntropyChange(double t1, double t2, double b);

}  // namespace prep::variants
