// Throughput of the free-form reader through the record layer, on the bytes
// the program meets in exports: word-only header and title lines, which it
// passes over one failing value at a time, and data rows, of which it
// converts five values and passes over the rest. Each iteration connects
// unit 12 to the file, reads it to its end and closes it again, as the
// program does with an isotherm file.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "exports.h"
#include "recordio/free_form_reader.h"
#include "recordio/units.h"

namespace {

using korvelin::recordio::beginRead;
using korvelin::recordio::endRead;
using korvelin::recordio::OutcomePolicy;
using korvelin::recordio::ReadOutcome;
using korvelin::recordio::readReal;

constexpr korvelin::recordio::UnitNumber kUnit = 12;

struct Fixture {
  std::filesystem::path folder;
  std::uint64_t headerBytes = 0;
  std::uint64_t dataBytes = 0;
  std::uint64_t longBytes = 0;
};

std::uint64_t writeFile(const std::string& name, const std::string& bytes) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr ||
      std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "scanner_bench: cannot write %s\n", name.c_str());
    std::exit(1);
  }
  return bytes.size();
}

std::string dataRows(korvelin::bench::Layout layout, int isotherms) {
  using namespace korvelin::bench;
  SplitMix64 rng(1);
  SplitMix64 spare(2);
  double clock = 3786912000.0;
  std::string text;
  for (int i = 0; i < isotherms; ++i) {
    const auto rows =
        measureIsotherm(290.0 + i, Protocol::kFullLoop, rng, clock);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      text.push_back(',');
      text.append(timeCell(rows[k].time));
      text.append(rowTail(rows[k], layout, k, spare));
    }
  }
  return text;
}

// The files live in a temporary folder that is the working folder while the
// benchmarks run, so the record layer sees short relative names.
const Fixture& fixture() {
  static const Fixture made = [] {
    Fixture f;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "korvelin-bench-XXXXXX")
            .string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "scanner_bench: cannot make %s\n", pattern.c_str());
      std::exit(1);
    }
    f.folder = pattern;
    std::filesystem::current_path(f.folder);
    std::string headers;
    const std::string section =
        korvelin::bench::headerSection(korvelin::bench::Layout::kStandard);
    while (headers.size() < (512u << 10)) {
      headers += section;
    }
    f.headerBytes = writeFile("header.dat", headers);
    f.dataBytes =
        writeFile("data.dat", dataRows(korvelin::bench::Layout::kStandard, 5));
    f.longBytes =
        writeFile("long.dat", dataRows(korvelin::bench::Layout::kLongLines, 1));
    korvelin::recordio::resetUnitsForTesting();
    return f;
  }();
  return made;
}

// Reads the connected file to its end with statements of `items` reals,
// taking back end of file and errors and repeating after an error, as the
// isotherm reader does. Returns the values scanned: each success or error
// of an item is one value.
std::uint64_t readToEnd(int items) {
  std::uint64_t values = 0;
  float item = 0.0f;
  for (;;) {
    beginRead(kUnit, "", OutcomePolicy::kAll);
    ReadOutcome outcome = 0;
    for (int i = 0; i < items && outcome == 0; ++i) {
      outcome = readReal(item);
      if (outcome >= 0) {
        ++values;
      }
    }
    if (outcome == 0) {
      outcome = endRead();
    }
    if (outcome < 0) {
      break;
    }
  }
  benchmark::DoNotOptimize(item);
  return values;
}

void runPasses(benchmark::State& state, const char* name, std::uint64_t bytes,
               int items) {
  std::uint64_t values = 0;
  for (auto _ : state) {
    korvelin::recordio::openUnit(kUnit, name);
    values += readToEnd(items);
    korvelin::recordio::closeUnit(kUnit);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(
      bytes * static_cast<std::uint64_t>(state.iterations())));
  state.counters["values"] =
      benchmark::Counter(static_cast<double>(values), benchmark::Counter::kIsRate);
}

// Word-only lines: every value fails, and the reader repeats its read.
void headerRows(benchmark::State& state) {
  runPasses(state, "header.dat", fixture().headerBytes, 5);
}
BENCHMARK(headerRows)->Unit(benchmark::kMillisecond);

// The program's statement on data rows: five values, the rest of the row
// passed over.
void dataRowsFiveValues(benchmark::State& state) {
  runPasses(state, "data.dat", fixture().dataBytes, 5);
}
BENCHMARK(dataRowsFiveValues)->Unit(benchmark::kMillisecond);

// Every value of every row (empty cells are null values), to measure the
// scanner itself on number-dense text.
void dataRowsAllValues(benchmark::State& state) {
  runPasses(state, "data.dat", fixture().dataBytes,
            static_cast<int>(korvelin::bench::columnCount(
                korvelin::bench::Layout::kStandard)));
}
BENCHMARK(dataRowsAllValues)->Unit(benchmark::kMillisecond);

// Rows of about 2 KB: the pass over the rest of the row dominates.
void longRowsFiveValues(benchmark::State& state) {
  runPasses(state, "long.dat", fixture().longBytes, 5);
}
BENCHMARK(longRowsFiveValues)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  const std::filesystem::path previous = std::filesystem::current_path();
  const Fixture& f = fixture();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  korvelin::recordio::resetUnitsForTesting();
  std::filesystem::current_path(previous);
  std::error_code ignored;
  std::filesystem::remove_all(f.folder, ignored);
  return 0;
}
