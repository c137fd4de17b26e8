// Checks the number editors against the exact model of the unit tests on
// every float bit pattern: the 17-digit decimal form, the fixed-point fields
// the program writes and the free-form text.
//
//   korvelin_editing_sweep            all 2^32 patterns
//   korvelin_editing_sweep FIRST LAST magnitudes FIRST..LAST (hex), each
//                                     with both signs
//
// Prints the mismatches (the first few), the count and the time taken;
// exits 1 when anything differs.

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recordio/number_editing.h"
#include "support/exact_decimal.h"

namespace {

using korvelin::recordio::DecimalDigits;
using korvelin::recordio::editFixed;
using korvelin::recordio::editFreeReal;
using korvelin::recordio::FixedField;
using korvelin::recordio::toDecimalDigits;
using korvelin::testsupport::exactPlaces;
using korvelin::testsupport::modelFinite;
using korvelin::testsupport::ModelReal;
using korvelin::testsupport::modelReal;
using korvelin::testsupport::PlaceValue;

struct Field {
  int width;
  int decimals;
};

// The fields the program writes; the unit tests' sample takes more widths.
constexpr Field kFields[] = {{5, 2}, {8, 3}, {11, 3}};

// One unit in the last place of a finite float: 2^(E - 150) for a biased
// exponent E > 0, 2^-149 for subnormals; as the bits of that power of two.
std::uint32_t ulpBits(std::uint32_t bits) {
  const int biased = int((bits >> 23) & 0xFF);
  const int q = biased == 0 ? -149 : biased - 150;
  return q >= -126 ? std::uint32_t(q + 127) << 23
                   : std::uint32_t{1} << (q + 149);
}

constexpr std::uint64_t kChunk = std::uint64_t{1} << 18;

std::mutex reportMutex;
std::atomic<std::uint64_t> mismatches{0};

void report(std::uint32_t bits, const std::string& what,
            const std::string& expected, const std::string& actual) {
  if (mismatches.fetch_add(1) < 50) {
    const std::lock_guard<std::mutex> lock(reportMutex);
    std::fprintf(stderr, "%08X %s: expected \"%s\", got \"%s\"\n",
                 unsigned(bits), what.c_str(), expected.c_str(),
                 actual.c_str());
  }
}

void check(std::uint32_t bits, const ModelReal& model) {
  const float value = std::bit_cast<float>(bits);
  const DecimalDigits decimal = toDecimalDigits(value);
  if (model.finite) {
    const auto expected = korvelin::testsupport::modelDigits(model);
    if (!decimal.finite || decimal.negative != expected.negative ||
        decimal.exponent != expected.exponent ||
        decimal.text() != expected.digits) {
      report(bits, "digits",
             (expected.negative ? "-" : "") + expected.digits + " e" +
                 std::to_string(expected.exponent),
             (decimal.negative ? "-" : "") + std::string(decimal.text()) +
                 " e" + std::to_string(decimal.exponent));
    }
  } else if (decimal.finite || decimal.text() != model.name) {
    report(bits, "digits", model.name, std::string(decimal.text()));
  }
  for (const Field& f : kFields) {
    const FixedField field = editFixed(value, f.width, f.decimals);
    const std::string actual =
        std::string(std::size_t(field.blanks), ' ') + std::string(field.text());
    const std::string expected =
        korvelin::testsupport::modelFixed(model, f.width, f.decimals);
    if (actual != expected) {
      // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on
      // "F" + std::to_string(...).
      std::string name = "F";
      name += std::to_string(f.width);
      name += '.';
      name += std::to_string(f.decimals);
      report(bits, name, expected, actual);
    }
  }
  const std::string expectedFree = korvelin::testsupport::modelFreeReal(model);
  const korvelin::recordio::FreeText actualFree = editFreeReal(value);
  if (actualFree.text() != expectedFree) {
    report(bits, "free", expectedFree, std::string(actualFree.text()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t first = 0;
  std::uint64_t last = 0x7FFF'FFFF;
  if (argc == 3) {
    first = std::strtoull(argv[1], nullptr, 16);
    last = std::strtoull(argv[2], nullptr, 16);
  }
  if (argc != 1 && argc != 3) {
    std::fprintf(stderr, "usage: %s [FIRST LAST]\n", argv[0]);
    return 2;
  }
  if (first > last || last > 0x7FFF'FFFF) {
    std::fprintf(stderr, "magnitudes must lie in 0..7FFFFFFF\n");
    return 2;
  }

  const auto start = std::chrono::steady_clock::now();
  std::atomic<std::uint64_t> next{first};
  std::atomic<std::uint64_t> done{0};
  const std::uint64_t total = last - first + 1;
  auto work = [&] {
    for (;;) {
      const std::uint64_t begin = next.fetch_add(kChunk);
      if (begin > last) {
        return;
      }
      const std::uint64_t end = std::min(begin + kChunk - 1, last);
      // The exact magnitude goes up by one unit in the last place from one
      // pattern to the next, which is far cheaper than expanding each one
      // afresh; the sum is checked against a fresh expansion at the end.
      PlaceValue exact;
      std::uint32_t ulpExponent = 0xFFFF'FFFF;
      PlaceValue ulp;
      for (std::uint64_t b = begin; b <= end; ++b) {
        const auto plus = std::uint32_t(b);
        const std::uint32_t minus = plus | 0x8000'0000;
        if ((plus >> 23) == 0xFF) {
          check(plus, modelReal(std::bit_cast<float>(plus)));
          check(minus, modelReal(std::bit_cast<float>(minus)));
          continue;
        }
        if (b == begin) {
          exact = exactPlaces(std::bit_cast<float>(plus));
        }
        check(plus, modelFinite(false, exact));
        check(minus, modelFinite(true, exact));
        if (plus >> 23 != ulpExponent) {
          ulpExponent = plus >> 23;
          ulp = exactPlaces(std::bit_cast<float>(ulpBits(plus)));
        }
        exact.add(ulp);
      }
      const auto endBits = std::uint32_t(end);
      if ((endBits >> 23) != 0xFF) {
        PlaceValue after = exactPlaces(std::bit_cast<float>(endBits));
        after.add(ulp);
        if (!(after == exact)) {
          report(endBits, "model", "fresh expansion", "running sum");
        }
      }
      const std::uint64_t finished = done.fetch_add(end - begin + 1) +
                                     (end - begin + 1);
      if (finished / (total / 64 + 1) !=
          (finished - (end - begin + 1)) / (total / 64 + 1)) {
        const double seconds = std::chrono::duration<double>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
        const std::lock_guard<std::mutex> lock(reportMutex);
        std::fprintf(stderr, "%5.1f%% after %.0f s\n",
                     100.0 * double(finished) / double(total), seconds);
      }
    }
  };
  const unsigned threads = std::max(1U, std::thread::hardware_concurrency());
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) {
    pool.emplace_back(work);
  }
  for (std::thread& t : pool) {
    t.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  std::printf(
      "checked %llu bit patterns (magnitudes %08llX..%08llX, both signs) on "
      "%u threads in %.1f s: %llu mismatches\n",
      static_cast<unsigned long long>(2 * total),
      static_cast<unsigned long long>(first),
      static_cast<unsigned long long>(last), threads, seconds,
      static_cast<unsigned long long>(mismatches.load()));
  return mismatches.load() == 0 ? 0 : 1;
}
