// Fuzz target: the number editors against the exact model of
// tests/support/exact_decimal.h. Any difference is a finding.
//
// The input gives a float's bits (bytes 0-3), a field width and a number
// of decimals (bytes 4 and 5, both taken signed so that the editor's own
// bounds are crossed too), a digit count for the rounding (byte 6) and an
// integer (bytes 7-10); missing bytes are zero. Every editor is run on
// them: the 17-digit decimal form, the rounding to n digits, Fw.d, the
// free-form real and the free-form integer.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "recordio/number_editing.h"
#include "support/exact_decimal.h"

namespace {

using namespace korvelin::recordio;
namespace model = korvelin::testsupport;

[[noreturn]] void divergence(const char* editor, std::uint32_t bits,
                             std::string_view got, std::string_view want,
                             int a = 0, int b = 0) {
  std::fprintf(stderr,
               "\nDIVERGENCE in %s for bits 0x%08X (%d, %d):\n"
               "  editor: \"%.*s\"\n  model:  \"%.*s\"\n",
               editor, bits, a, b, static_cast<int>(got.size()), got.data(),
               static_cast<int>(want.size()), want.data());
  std::abort();
}

std::string describe(bool negative, std::string_view digits, int exponent) {
  std::string text = negative ? "-." : ".";
  text += digits;
  text += "e";
  text += std::to_string(exponent);
  return text;
}

// The model's digits rounded to n significant ones, by place value.
model::ModelDigits modelRounded(const model::ModelReal& exact, int n) {
  model::ModelReal rounded = exact;
  if (!rounded.form.isZero()) {
    const int lead = rounded.form.leadingPower();
    if (n > 0) {
      rounded.form.roundAt(lead - n + 1);
    } else if (n == 0) {
      // Nothing kept but a possible unit just above the first digit.
      rounded.form.roundAt(lead + 1);
    } else {
      rounded.form = model::PlaceValue{};
    }
  }
  return model::modelDigits(rounded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::uint8_t bytes[11] = {};
  std::memcpy(bytes, data, std::min(size, sizeof bytes));
  std::uint32_t bits = 0;
  std::memcpy(&bits, bytes, 4);
  const auto value = std::bit_cast<float>(bits);
  const int width = static_cast<std::int8_t>(bytes[4]);
  const int decimals = static_cast<std::int8_t>(bytes[5]);
  const int digits = static_cast<std::int8_t>(bytes[6]) % 20;
  std::int32_t integer = 0;
  std::memcpy(&integer, bytes + 7, 4);

  const model::ModelReal exact = model::modelReal(value);

  // The decimal form.
  DecimalDigits decimal = toDecimalDigits(value);
  if (!exact.finite) {
    if (decimal.finite || decimal.text() != exact.name) {
      divergence("toDecimalDigits", bits, decimal.text(), exact.name);
    }
  } else {
    const model::ModelDigits want = model::modelDigits(exact);
    if (!decimal.finite || decimal.negative != want.negative ||
        decimal.text() != want.digits || decimal.exponent != want.exponent) {
      divergence("toDecimalDigits", bits,
                 describe(decimal.negative, decimal.text(), decimal.exponent),
                 describe(want.negative, want.digits, want.exponent));
    }
    // Rounding the form to n digits.
    DecimalDigits rounded = decimal;
    roundDigits(rounded, digits);
    const model::ModelDigits wantRounded = modelRounded(exact, digits);
    if (rounded.negative != wantRounded.negative ||
        rounded.text() != wantRounded.digits ||
        rounded.exponent != wantRounded.exponent) {
      divergence("roundDigits", bits,
                 describe(rounded.negative, rounded.text(), rounded.exponent),
                 describe(wantRounded.negative, wantRounded.digits,
                          wantRounded.exponent),
                 digits);
    }
  }

  // Fw.d, with the editor's documented bounds: the width taken into
  // 1..kMaxFieldWidth and negative decimals as 0.
  const FixedField field = editFixed(value, width, decimals);
  const int w = std::clamp(width, 1, kMaxFieldWidth);
  const int d = std::max(decimals, 0);
  const std::string got =
      std::string(static_cast<std::size_t>(std::max(field.blanks, 0)), ' ') +
      std::string(field.text());
  const std::string want = model::modelFixed(exact, w, d);
  if (field.blanks < 0 || got != want ||
      (field.length > 0 && field.text().front() == ' ')) {
    divergence("editFixed", bits, got, want, w, d);
  }

  // The free-form real.
  const FreeText free = editFreeReal(value);
  const std::string wantFree = model::modelFreeReal(exact);
  if (free.text() != wantFree) {
    divergence("editFreeReal", bits, free.text(), wantFree);
  }

  // The free-form integer: its decimal digits, independently.
  const FreeText freeInteger = editFreeInteger(integer);
  const std::string wantInteger = std::to_string(integer);
  if (freeInteger.text() != wantInteger) {
    divergence("editFreeInteger", static_cast<std::uint32_t>(integer),
               freeInteger.text(), wantInteger);
  }
  return 0;
}
