// Cost of the number editors per value, on values like the program's (table
// entries and log values of a few digits) and on arbitrary bit patterns,
// whose huge and tiny magnitudes take the longest exact expansions.

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "recordio/number_editing.h"

namespace {

using korvelin::recordio::editFixed;
using korvelin::recordio::editFreeInteger;
using korvelin::recordio::editFreeReal;

constexpr std::size_t kValues = 4096;

// Temperatures, fields and entropy changes: magnitudes 1e-4 .. 1e4.
std::vector<float> tableValues() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> exponent(-4.0, 4.0);
  std::vector<float> values;
  for (std::size_t i = 0; i < kValues; ++i) {
    const double sign = (random() & 1) != 0 ? -1.0 : 1.0;
    values.push_back(float(sign * std::pow(10.0, exponent(random))));
  }
  return values;
}

// Any finite float.
std::vector<float> anyValues() {
  std::mt19937 random(11);
  std::vector<float> values;
  while (values.size() < kValues) {
    const auto value = std::bit_cast<float>(std::uint32_t(random()));
    if (std::isfinite(value)) {
      values.push_back(value);
    }
  }
  return values;
}

std::vector<std::int32_t> integerValues() {
  std::mt19937 random(13);
  std::vector<std::int32_t> values;
  for (std::size_t i = 0; i < kValues; ++i) {
    // Mostly small counts, some of every length.
    const auto digits = int(random() % 10);
    const auto bound = std::uint32_t(std::pow(10.0, digits));
    values.push_back(std::int32_t(random() % bound) *
                     ((random() & 1) != 0 ? -1 : 1));
  }
  return values;
}

// One value per iteration, so the time per iteration is the time per value.
template <typename Values, typename Edit>
void run(benchmark::State& state, const Values& values, Edit edit) {
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(edit(values[i]));
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_EditFixedF11_3Table(benchmark::State& state) {
  run(state, tableValues(), [](float v) { return editFixed(v, 11, 3); });
}

void BM_EditFixedF11_3Any(benchmark::State& state) {
  run(state, anyValues(), [](float v) { return editFixed(v, 11, 3); });
}

void BM_EditFreeRealTable(benchmark::State& state) {
  run(state, tableValues(), [](float v) { return editFreeReal(v); });
}

void BM_EditFreeRealAny(benchmark::State& state) {
  run(state, anyValues(), [](float v) { return editFreeReal(v); });
}

void BM_EditFreeInteger(benchmark::State& state) {
  run(state, integerValues(),
      [](std::int32_t v) { return editFreeInteger(v); });
}

BENCHMARK(BM_EditFixedF11_3Table);
BENCHMARK(BM_EditFixedF11_3Any);
BENCHMARK(BM_EditFreeRealTable);
BENCHMARK(BM_EditFreeRealAny);
BENCHMARK(BM_EditFreeInteger);

}  // namespace

BENCHMARK_MAIN();
