// korvelin-report: figures of merit and plots from a korvelin result table.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "control_file.h"
#include "csv_summary.h"
#include "figures.h"
#include "input_error.h"
#include "result_table.h"
#include "svg_plot.h"
#include "text_summary.h"

#ifndef KORVELIN_VERSION
#  define KORVELIN_VERSION "unknown"
#endif

namespace {

using namespace korvelin::report;

constexpr const char* kProgram = "korvelin-report";

// Reads a whole file; on failure returns the system's reason.
std::optional<std::string> readFile(const std::string& path,
                                    std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::strerror(errno);
  }
  char buffer[65536];
  std::size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.append(buffer, count);
  }
  int error = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (error != 0) {
    return std::strerror(error);
  }
  return std::nullopt;
}

std::optional<std::string> writeFile(const std::string& path,
                                     const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return std::strerror(errno);
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int error = written ? 0 : errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    return std::strerror(error);
  }
  return std::nullopt;
}

void reportInputError(const std::string& path, const InputError& error) {
  std::fprintf(stderr, "%s:%d:%d: error: %s\n", path.c_str(), error.line(),
               error.column(), error.what());
}

std::optional<std::string> readInput(const std::string& path) {
  std::string bytes;
  if (std::optional<std::string> why = readFile(path, bytes)) {
    std::fprintf(stderr, "%s: cannot read '%s': %s\n", kProgram, path.c_str(),
                 why->c_str());
    return std::nullopt;
  }
  return bytes;
}

int run(const Options& options) {
  std::optional<std::string> tableBytes = readInput(options.table);
  if (!tableBytes) {
    return 1;
  }
  ResultTable table;
  try {
    table = parseResultTable(*tableBytes);
  } catch (const InputError& error) {
    reportInputError(options.table, error);
    return 1;
  }
  for (const InputNote& note : table.notes) {
    std::fprintf(stderr, "%s:%d:%d: warning: %s\n", options.table.c_str(),
                 note.line, note.column, note.message.c_str());
  }

  SummarySource source;
  source.tableName = options.table;
  std::vector<double> fields;
  if (!options.control.empty()) {
    std::optional<std::string> controlBytes = readInput(options.control);
    if (!controlBytes) {
      return 1;
    }
    try {
      ControlFile control = parseControlFile(*controlBytes);
      fields = reconcileFields(control, table);
      source.controlName = options.control;
      source.mass = control.mass;
    } catch (const InputError& error) {
      reportInputError(options.control, error);
      return 1;
    }
  }

  ReportFigures figures = computeFigures(table, {3.0, 10.0}, fields);
  source.table = &table;
  source.figures = &figures;
  std::string summary = formatTextSummary(source);
  std::fwrite(summary.data(), 1, summary.size(), stdout);

  struct Output {
    const std::string& path;
    std::string bytes;
  };
  std::vector<Output> outputs;
  if (!options.csv.empty()) {
    outputs.push_back({options.csv, formatCsvSummary(source)});
  }
  if (!options.svg.empty()) {
    outputs.push_back({options.svg, plotEntropyCurves(figures, options.table)});
  }
  if (!options.svgFields.empty()) {
    outputs.push_back(
        {options.svgFields, plotFieldDependence(figures, options.table)});
  }
  int status = 0;
  for (const Output& output : outputs) {
    if (std::optional<std::string> why = writeFile(output.path, output.bytes)) {
      std::fprintf(stderr, "%s: cannot write '%s': %s\n", kProgram,
                   output.path.c_str(), why->c_str());
      status = 1;
    }
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "%s: cannot write the summary: %s\n", kProgram,
                 std::strerror(errno));
    status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n",
                 kProgram, error.what(), kProgram);
    return 2;
  }
  if (options.help) {
    std::fputs(helpText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s %s\n", kProgram, KORVELIN_VERSION);
    return 0;
  }
  return run(options);
}
