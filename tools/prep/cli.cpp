#include "cli.h"

#include <cmath>
#include <filesystem>
#include <optional>

#include "analysis.h"
#include "convert.h"
#include "export_file.h"
#include "report.h"

#ifndef KORVELIN_PREP_VERSION
#  define KORVELIN_PREP_VERSION "unknown"
#endif

namespace prep {
namespace {

constexpr const char* kUsage =
    "usage: korvelin-prep check [OPTIONS] EXPORT...\n"
    "       korvelin-prep convert [OPTIONS] --out DIR EXPORT...\n"
    "       korvelin-prep --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Checks magnetometer exports before a korvelin run and converts them into\n"
    "files that korvelin reads as intended. The exports are only read.\n"
    "\n"
    "commands:\n"
    "  check     report per export: where the field, temperature and moment\n"
    "            columns stand against korvelin's values 3, 4 and 5; empty or\n"
    "            constant columns; the temperature clusters with the points\n"
    "            inside a 0.25 K window around the mean and the round value;\n"
    "            rising and falling branch sizes against korvelin's 100\n"
    "            points a file; numbers on header lines; the sample mass\n"
    "  convert   write one file per isotherm (the chosen branch in oersted,\n"
    "            kelvin and emu, at most 100 points) and KORVELIN.inp\n"
    "\n"
    "column and cluster options (both commands):\n"
    "  --field-column NAME|N        the field column, by title or number\n"
    "  --temperature-column NAME|N  the temperature column\n"
    "  --moment-column NAME|N       the moment column\n"
    "  --cluster-gap K              a gap above K between sorted temperatures\n"
    "                               starts a new isotherm (default 0.5)\n"
    "  --round-step K               the round value is the nearest multiple\n"
    "                               of K (default 0.5)\n"
    "check:\n"
    "  --json                       the report as JSON\n"
    "  --control FILE               compare each isotherm with the nearest\n"
    "                               temperature of this KORVELIN.inp instead\n"
    "                               of a round value\n"
    "convert:\n"
    "  --out DIR                    output folder; must be empty or new\n"
    "  --force                      write into a folder that holds files\n"
    "                               (never over an export being converted)\n"
    "  --fields B1,B2,...           target fields in tesla (default: steps of\n"
    "                               1 T up to the lowest branch top)\n"
    "  --sweep up|down              branch and sweep direction (default up)\n"
    "  --mass GRAMS                 sample mass, over the one in the exports\n"
    "  --mass-unit g|mg|ug          unit of a mass given without one\n"
    "\n"
    "exit status: 0 all is well (check: no problem found), 1 a problem was\n"
    "found or a file could not be read or written, 2 wrong usage.\n";

struct UsageError {
  std::string message;
};

struct Options {
  std::string command;
  std::vector<std::string> exports;
  AnalysisOptions analysis;
  ConvertOptions convert;
  bool json = false;
  std::string control;
  bool outGiven = false;
  bool sweepGiven = false;
};

double positiveNumber(const std::string& option, const std::string& text) {
  const std::optional<double> value = parseNumber(text);
  if (!value || !(*value > 0.0) || !std::isfinite(*value)) {
    throw UsageError{option + " needs a number above zero, not \"" + text +
                     "\""};
  }
  return *value;
}

std::vector<double> fieldList(const std::string& text) {
  std::vector<double> fields;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string item =
        text.substr(start, comma == std::string::npos ? std::string::npos
                                                      : comma - start);
    fields.push_back(positiveNumber("--fields", item));
    if (comma == std::string::npos) {
      break;
    }
    start = comma + 1;
  }
  if (fields.size() > 20) {
    throw UsageError{"--fields: korvelin takes at most 20 target fields"};
  }
  return fields;
}

Options parseArgs(const std::vector<std::string>& args) {
  Options o;
  bool operandsOnly = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (operandsOnly || arg.size() < 2 || arg[0] != '-') {
      if (o.command.empty()) {
        if (arg != "check" && arg != "convert") {
          throw UsageError{"unknown command \"" + arg + "\""};
        }
        o.command = arg;
      } else {
        o.exports.push_back(arg);
      }
      continue;
    }
    if (arg == "--") {
      operandsOnly = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) {
        return *inlineValue;
      }
      if (i + 1 >= args.size()) {
        throw UsageError{name + " needs a value"};
      }
      return args[++i];
    };
    const auto flag = [&]() {
      if (inlineValue) {
        throw UsageError{name + " takes no value"};
      }
    };
    if (name == "--field-column") {
      o.analysis.columnNames[0] = value();
    } else if (name == "--temperature-column") {
      o.analysis.columnNames[1] = value();
    } else if (name == "--moment-column") {
      o.analysis.columnNames[2] = value();
    } else if (name == "--cluster-gap") {
      o.analysis.clusterGap = positiveNumber(name, value());
      o.convert.clusterGap = o.analysis.clusterGap;
    } else if (name == "--round-step") {
      o.analysis.roundStep = positiveNumber(name, value());
    } else if (name == "--control") {
      o.control = value();
    } else if (name == "--json") {
      flag();
      o.json = true;
    } else if (name == "--out") {
      o.convert.outDir = value();
      o.outGiven = true;
    } else if (name == "--force") {
      flag();
      o.convert.force = true;
    } else if (name == "--fields") {
      o.convert.fields = fieldList(value());
    } else if (name == "--sweep") {
      const std::string sweep = value();
      if (sweep != "up" && sweep != "down") {
        throw UsageError{"--sweep takes up or down, not \"" + sweep + "\""};
      }
      o.convert.sweep = sweep == "up" ? Sweep::kUp : Sweep::kDown;
      o.sweepGiven = true;
    } else if (name == "--mass") {
      o.convert.massGrams = positiveNumber(name, value());
    } else if (name == "--mass-unit") {
      const std::string unit = value();
      if (unit == "g") {
        o.convert.massUnitGrams = 1.0;
      } else if (unit == "mg") {
        o.convert.massUnitGrams = 1.0e-3;
      } else if (unit == "ug") {
        o.convert.massUnitGrams = 1.0e-6;
      } else {
        throw UsageError{"--mass-unit takes g, mg or ug, not \"" + unit + "\""};
      }
    } else {
      throw UsageError{"unknown option " + name};
    }
  }
  if (o.command.empty()) {
    throw UsageError{"no command"};
  }
  if (o.exports.empty()) {
    throw UsageError{"no export named"};
  }
  const bool convertOnly = o.outGiven || o.convert.force || o.sweepGiven ||
                           !o.convert.fields.empty() ||
                           o.convert.massGrams || o.convert.massUnitGrams;
  if (o.command == "check" && convertOnly) {
    throw UsageError{"--out, --force, --fields, --sweep and --mass belong to "
                     "convert"};
  }
  if (o.command == "convert" && (o.json || !o.control.empty())) {
    throw UsageError{"--json and --control belong to check"};
  }
  if (o.command == "convert" && !o.outGiven) {
    throw UsageError{"convert needs --out DIR"};
  }
  return o;
}

void reportError(std::ostream& err, const PrepError& e) {
  err << "korvelin-prep: " << e.file();
  if (e.line() > 0) {
    err << ':' << e.line();
  }
  err << ": error: " << e.what() << '\n';
}

Analysis analyse(const std::string& path, const AnalysisOptions& options) {
  if (std::filesystem::is_directory(path)) {
    throw PrepError(path, 0, "is a folder, not an export");
  }
  return analyseExport(parseExport(path, readFileBytes(path)), options);
}

}  // namespace

int runPrep(const std::vector<std::string>& args, std::ostream& out,
            std::ostream& err) {
  for (const std::string& arg : args) {
    if (arg == "--") {
      break;
    }
    if (arg == "--help" || arg == "-h") {
      out << kUsage << kHelp;
      return 0;
    }
    if (arg == "--version") {
      out << "korvelin-prep " << KORVELIN_PREP_VERSION << '\n';
      return 0;
    }
  }
  Options options;
  try {
    options = parseArgs(args);
  } catch (const UsageError& e) {
    err << "korvelin-prep: " << e.message << '\n' << kUsage;
    return 2;
  }

  if (!options.control.empty()) {
    try {
      options.analysis.wantedTemperatures =
          readControlTemperatures(options.control);
    } catch (const PrepError& e) {
      reportError(err, e);
      return 1;
    }
  }
  std::vector<Analysis> analyses;
  bool failed = false;
  for (const std::string& path : options.exports) {
    try {
      analyses.push_back(analyse(path, options.analysis));
    } catch (const PrepError& e) {
      reportError(err, e);
      failed = true;
    }
  }

  if (options.command == "check") {
    if (options.json) {
      writeJsonReport(out, analyses);
    } else {
      writeTextReport(out, analyses);
    }
    int problems = 0;
    for (const Analysis& a : analyses) {
      problems += a.problemCount();
    }
    return failed || problems > 0 ? 1 : 0;
  }

  if (failed) {
    err << "korvelin-prep: nothing written\n";
    return 1;
  }
  ConversionPlan plan;
  try {
    plan = planConversion(analyses, options.convert);
  } catch (const PrepError& e) {
    reportError(err, e);
    err << "korvelin-prep: nothing written\n";
    return 1;
  }
  try {
    writeConversion(plan, options.convert, options.exports);
    for (const std::string& note : plan.notes) {
      out << "wrote " << options.convert.outDir << '/' << note << '\n';
    }
    out << "wrote " << options.convert.outDir << "/KORVELIN.inp: mass "
        << plan.massGrams << " g, " << plan.temperatures.size()
        << " temperatures, fields";
    for (double b : plan.fields) {
      out << ' ' << b;
    }
    out << " T, sweep "
        << (options.convert.sweep == Sweep::kUp ? "up (1)" : "down (-1)")
        << '\n';
    for (const std::string& warning : plan.warnings) {
      err << "korvelin-prep: warning: " << warning << '\n';
    }
  } catch (const PrepError& e) {
    reportError(err, e);
    return 1;
  }
  return 0;
}

}  // namespace prep
