// What an export holds and where korvelin would misread it: the field,
// temperature and moment columns found by their titles, the temperature
// clusters with their branches, the sample mass, and a list of findings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "export_file.h"
#include "korvelin_reading.h"

namespace prep {

enum class Quantity { kField, kTemperature, kMoment };

inline constexpr int kQuantityCount = 3;

/// korvelin takes value 3 as the field, 4 as the temperature, 5 as the
/// moment (0-based 2, 3, 4), keeps what lies within 0.25 K of the control
/// file's temperature, and reads at most 100 such points per file.
inline constexpr int kKorvelinIndex[kQuantityCount] = {2, 3, 4};
inline constexpr double kKorvelinWindow = 0.25;   // K
inline constexpr int kKorvelinCapacity = 100;     // points per file
inline constexpr double kKorvelinLowField = 100;  // Oe, read as zero below

const char* quantityName(Quantity quantity);

struct Column {
  int index = -1;  // 0-based; -1 when none was found
  std::string title;
  std::string unit;  // short name ("Oe", "T", "emu"...), or the title's text
  double scale = 1.0;   // to oersted, kelvin or emu
  double offset = 0.0;  // added after scaling (Celsius to kelvin)
  bool unitAssumed = false;
  std::vector<int> ambiguous;  // 0-based candidates when several fit
};

/// A measurement in korvelin's units: oersted, kelvin, emu.
struct Point {
  int line = 0;
  double field = 0.0;
  double temperature = 0.0;
  double moment = 0.0;
};

struct Cluster {
  std::vector<Point> points;  // in file order
  double mean = 0.0;
  double min = 0.0;
  double max = 0.0;
  int insideMean = 0;  // within 0.25 K of the mean
  double roundValue = 0.0;  // or the nearest control-file temperature
  bool fromControl = false;
  int insideRound = 0;  // within 0.25 K of roundValue
  // Points of the branches korvelin keeps (first point included), from all
  // points and from the first 100 that it reads.
  int rising = 0;
  int falling = 0;
  int risingRead = 0;
  int fallingRead = 0;
  double risingTopRead = 0.0;  // Oe, highest field of the rising branch read
};

struct Mass {
  bool found = false;
  double value = 0.0;
  std::string unit;             // "g", "mg", "ug" or empty when not stated
  std::optional<double> grams;  // when the unit is known
  int line = 0;
  std::string where;  // "header" or the column title
};

enum class Severity { kProblem, kWarning, kNote };

const char* severityName(Severity severity);

struct Finding {
  Severity severity = Severity::kNote;
  std::string code;  // stable, for --json readers
  int line = 0;      // 0 when about the whole file
  std::string message;
};

struct AnalysisOptions {
  /// Column titles or 1-based numbers the user named; empty: found by title.
  std::string columnNames[kQuantityCount];
  double clusterGap = 0.5;  // K between sorted temperatures that splits
  double roundStep = 0.5;   // K; the "round value" is a multiple of it
  /// The temperatures of a control file (--control): each isotherm is then
  /// compared with the nearest of them instead of a round value.
  std::vector<double> wantedTemperatures;
};

/// The temperatures a control file asks for, in its order. Raises
/// PrepError when the file cannot be read or ends early.
std::vector<double> readControlTemperatures(const std::string& path);

struct Analysis {
  std::string path;
  int titleLine = 0;
  int firstDataLine = 0;
  int lastDataLine = 0;
  int rowCount = 0;
  int skippedRows = 0;  // rows without a number in a chosen column
  Column columns[kQuantityCount];
  std::vector<Cluster> clusters;  // by rising temperature
  HeaderReplay header;
  Mass mass;
  std::vector<Finding> findings;

  bool usable() const;  // all three columns found
  int problemCount() const;
};

/// Raises PrepError when a column the user named does not exist.
Analysis analyseExport(const ExportFile& file, const AnalysisOptions& options);

/// korvelin's branch for a sweep sign (+1 rising, -1 falling): the first
/// point and every point reached by a step of that sign, fields below 100 Oe
/// taken as zero. Returns the indices into `points`.
std::vector<std::size_t> korvelinBranch(const std::vector<Point>& points,
                                        int sign);

}  // namespace prep
