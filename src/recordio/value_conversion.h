#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/run_error.h"

namespace korvelin::recordio {

/// Outcome of converting one free-form value text: either a value, or the
/// input/output condition that rejects the text.
template <typename T>
struct Conversion {
  T value{};
  std::optional<IoCondition> error;  ///< set when the text is rejected
};

/// Converts a plain (not quoted, not parenthesised), non-empty real text:
/// [sign] mantissa [exponent], with exponent letters E, e, D, d or a bare
/// sign ("1.5+3" is 1500). Rounded to the nearest double, then to the
/// nearest float (two roundings). Errors: kBadReal for any other form,
/// kRealBeyondDouble beyond the double range, kRealBeyondSingle when the
/// double exceeds 0x1.fffffe0000001p+127 in magnitude.
[[nodiscard]] Conversion<float> convertReal(std::string_view text);

/// Converts a plain, non-empty integer text: [sign] digits, or base "#"
/// digits (base 2..36, empty or 0 meaning 16). A NUL or control-Z byte ends
/// the digits. Errors: kBadIntegerDigit, kIntegerOverflow, kSecondBaseMark,
/// kBadBase.
[[nodiscard]] Conversion<std::int32_t> convertInteger(std::string_view text);

}  // namespace korvelin::recordio
