#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace korvelin::recordio {

/// The decimal form from which every real is edited: the exact value of the
/// float rounded to 17 significant digits, half away from zero.
struct DecimalDigits {
  bool negative = false;  ///< never set for zero of either sign
  /// The magnitude is 0.d1d2d3... times 10 to this power; 0 for zero.
  std::int32_t exponent = 0;
  bool finite = true;
  /// Significant digits, first non-zero, no trailing zeros ("0" for zero);
  /// for a value that is not finite, its text ("1#INF", "1#QNAN", ...).
  std::array<char, 17> digits{};
  int length = 0;

  std::string_view text() const { return {digits.data(), std::size_t(length)}; }
};

/// The exact decimal form of a float, rounded to 17 significant digits.
DecimalDigits toDecimalDigits(float value);

/// Rounds the digit string to n significant digits, half away from zero,
/// with carries into the exponent; n = 0 keeps one unit in the last place
/// or nothing. A negative value left without a non-zero digit loses its sign.
void roundDigits(DecimalDigits& decimal, int n);

/// Widest fixed-point field the editor accepts.
inline constexpr int kMaxFieldWidth = 64;

/// A fixed-point field: `blanks` justification blanks, then `text`; together
/// exactly the field width.
struct FixedField {
  int blanks = 0;
  std::array<char, kMaxFieldWidth> chars{};
  int length = 0;

  std::string_view text() const { return {chars.data(), std::size_t(length)}; }
};

/// Edits a float as Fw.d: no digit before the period for a zero integer
/// part, no plus sign, at most 7 significant digits then zeros, w asterisks
/// when it does not fit. 1 <= width <= kMaxFieldWidth, 0 <= decimals.
FixedField editFixed(float value, int width, int decimals);

/// A free-form number text, 1 to 15 characters, not justified.
struct FreeText {
  std::array<char, 16> chars{};
  int length = 0;

  std::string_view text() const { return {chars.data(), std::size_t(length)}; }
};

/// Free-form real: "300.000000", "5.000000E-01", "0.000000E+00".
FreeText editFreeReal(float value);

/// Free-form integer: "0", "-5", "2147483647".
FreeText editFreeInteger(std::int32_t value);

}  // namespace korvelin::recordio
