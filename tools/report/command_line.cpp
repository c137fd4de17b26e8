#include "command_line.h"

#include <utility>

namespace korvelin::report {

Options parseCommandLine(const std::vector<std::string>& args) {
  Options options;
  bool tableGiven = false;
  bool optionsEnded = false;
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& arg = args[k];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (tableGiven) {
        throw UsageError("more than one table given ('" + options.table +
                         "' and '" + arg + "')");
      }
      if (arg.empty()) {
        throw UsageError("the table name is empty");
      }
      options.table = arg;
      tableGiven = true;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg == "-V" || arg == "--version") {
      options.version = true;
      continue;
    }
    std::string name = arg;
    std::string value;
    bool hasValue = false;
    std::size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    if (hasValue && (name == "--help" || name == "--version")) {
      throw UsageError("option '" + name + "' takes no value");
    }
    std::string* target = name == "--csv"          ? &options.csv
                          : name == "--svg"        ? &options.svg
                          : name == "--svg-fields" ? &options.svgFields
                          : name == "--inp"        ? &options.control
                                                   : nullptr;
    if (target == nullptr) {
      throw UsageError("unknown option '" + name + "'");
    }
    if (!hasValue) {
      if (k + 1 == args.size()) {
        throw UsageError("option '" + name + "' needs a file name");
      }
      value = args[++k];
    }
    if (value.empty()) {
      throw UsageError("option '" + name + "' needs a file name");
    }
    *target = value;
  }
  if (options.help || options.version) {
    return options;
  }

  // Writing over the data the report comes from would lose it.
  std::pair<const char*, const std::string*> outputs[] = {
      {"--csv", &options.csv},
      {"--svg", &options.svg},
      {"--svg-fields", &options.svgFields}};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string& path = *outputs[i].second;
    if (path.empty()) {
      continue;
    }
    if (path == options.table || path == options.control) {
      throw UsageError(std::string(outputs[i].first) + " '" + path +
                       "' would overwrite an input file");
    }
    for (std::size_t j = i + 1; j < 3; ++j) {
      if (path == *outputs[j].second) {
        throw UsageError(std::string(outputs[i].first) + " and " +
                         outputs[j].first + " name the same file '" + path +
                         "'");
      }
    }
  }
  return options;
}

std::string helpText() {
  return R"(Usage: korvelin-report [OPTION]... [TABLE]
Figures of merit and plots from a korvelin result table (TABLE, by default
KORVELIN.dat in the working folder). The summary goes to standard output.

  --inp FILE         take the sample mass and the exact target fields from the
                     control file FILE (usually KORVELIN.inp); its fields must
                     match the table heading
  --csv FILE         write the figures to FILE as CSV
  --svg FILE         plot -ΔS_M against temperature, one curve per field,
                     peaks marked, to FILE as SVG
  --svg-fields FILE  plot the peak and RCP against the field to FILE as SVG
  -h, --help         show this help and exit
  -V, --version      show the version and exit

Per target field: the peak of -ΔS_M (J·kg⁻¹·K⁻¹) and its temperature (K);
FWHM (K), the width at half the peak with both crossings interpolated
linearly between rows; RCP = peak × FWHM (J·kg⁻¹); RC (J·kg⁻¹), the integral
of |ΔS_M| between the half-maximum temperatures; TEC(3 K) and TEC(10 K)
(J·kg⁻¹·K⁻¹), the largest mean of |ΔS_M| over a window of that width lying
inside the data; n = d ln|ΔS_M| / d ln B against the next lower field at the
field's peak temperature. Where the curve does not fall to half its peak
within the data, the summary says so and FWHM, RCP and RC are lower bounds.

Exit status: 0 done, 1 an input that cannot be read or is malformed (reported
as FILE:LINE:COLUMN) or an output that cannot be written, 2 a usage error.
)";
}

}  // namespace korvelin::report
