// make_prep_variants: writes the small variant exports and compares a result
// table with the noiseless model.
//
//   make_prep_variants write DIR
//       one folder per variant under DIR, each with the exports and the
//       control file a user would write for them (nominal temperatures)
//   make_prep_variants compare RUN_DIR ABS REL
//       reads RUN_DIR/KORVELIN.inp and RUN_DIR/KORVELIN.dat, computes every
//       cell from the model at the control file's temperatures and fields,
//       prints both and exits 0 when each cell is within ABS + REL * |model|
//       (J/(kg K)), 1 when one is not, 2 when a file cannot be read.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "variant_exports.h"

namespace {

namespace fs = std::filesystem;
using prep::variants::ExportSet;

bool writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_prep_variants: cannot write %s\n",
                 path.string().c_str());
    return false;
  }
  return true;
}

int writeAll(const fs::path& root) {
  for (prep::variants::Variant v : prep::variants::allVariants()) {
    const fs::path folder = root / prep::variants::variantName(v);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
      std::fprintf(stderr, "make_prep_variants: cannot create %s\n",
                   folder.string().c_str());
      return 2;
    }
    const ExportSet set = prep::variants::makeExportSet(v);
    for (const auto& file : set.files) {
      if (!writeFile(folder / file.name, file.content)) {
        return 2;
      }
    }
    if (!writeFile(folder / "KORVELIN.inp", set.rawControlFile)) {
      return 2;
    }
  }
  return 0;
}

std::vector<std::string> readLines(const fs::path& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

struct Control {
  int fieldCount = 0;
  std::vector<double> fields;
  std::vector<double> temperatures;
};

// Only the control files this project writes: one item list per line.
bool parseControl(const std::vector<std::string>& lines, Control& control) {
  if (lines.size() < 3) {
    return false;
  }
  std::istringstream counts(lines[1]);
  counts >> control.fieldCount;
  std::istringstream fields(lines[2]);
  double b = 0.0;
  while (static_cast<int>(control.fields.size()) < control.fieldCount &&
         fields >> b) {
    control.fields.push_back(b);
  }
  for (std::size_t k = 3; k + 1 < lines.size(); k += 2) {
    std::istringstream t(lines[k]);
    double value = 0.0;
    if (!(t >> value)) {
      break;
    }
    control.temperatures.push_back(value);
  }
  return static_cast<int>(control.fields.size()) == control.fieldCount;
}

int compare(const fs::path& run, double absTolerance, double relTolerance) {
  bool ok = false;
  Control control;
  if (!parseControl(readLines(run / "KORVELIN.inp", ok), control) || !ok) {
    std::fprintf(stderr, "make_prep_variants: cannot read %s\n",
                 (run / "KORVELIN.inp").string().c_str());
    return 2;
  }
  const std::vector<std::string> table = readLines(run / "KORVELIN.dat", ok);
  if (!ok || table.empty()) {
    std::fprintf(stderr, "make_prep_variants: cannot read %s\n",
                 (run / "KORVELIN.dat").string().c_str());
    return 2;
  }
  const std::size_t rows = control.temperatures.size() < 2
                               ? 0
                               : control.temperatures.size() - 1;
  int bad = 0;
  std::printf("  T mid    B/T   korvelin     model    diff\n");
  for (std::size_t i = 0; i < rows; ++i) {
    std::istringstream row(i + 1 < table.size() ? table[i + 1] : "");
    double mean = 0.0;
    const bool haveRow = static_cast<bool>(row >> mean);
    const double t1 = control.temperatures[i];
    const double t2 = control.temperatures[i + 1];
    for (double b : control.fields) {
      std::string cell;
      double value = NAN;
      if (haveRow && row >> cell) {
        // A table cell is a plain decimal; asterisks mean it overflowed.
        char* end = nullptr;
        value = std::strtod(cell.c_str(), &end);
        if (end == cell.c_str() || *end != '\0') {
          value = NAN;
        }
      }
      const double expected = prep::variants::modelEntropyChange(t1, t2, b);
      const double limit = absTolerance + relTolerance * std::fabs(expected);
      const bool within = std::fabs(value - expected) <= limit;
      bad += within ? 0 : 1;
      std::printf("%7.2f %6.2f %10.3f %9.3f %7.3f%s\n", 0.5 * (t1 + t2), b,
                  value, expected, value - expected, within ? "" : "  <-- off");
    }
  }
  std::printf("%d of %zu cells outside %.3g + %.3g * |model| J/(kg K)\n", bad,
              rows * control.fields.size(), absTolerance, relTolerance);
  return bad == 0 && rows > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "write") {
    return writeAll(args[1]);
  }
  if (args.size() == 4 && args[0] == "compare") {
    return compare(args[1], std::strtod(args[2].c_str(), nullptr),
                   std::strtod(args[3].c_str(), nullptr));
  }
  std::fprintf(stderr,
               "usage: make_prep_variants write DIR\n"
               "       make_prep_variants compare RUN_DIR ABS REL\n");
  return 2;
}
