#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace korvelin::recordio {

/// The decimal form from which every real is edited: the exact value of the
/// float rounded to 17 significant digits, half away from zero.
struct DecimalDigits {
  bool negative = false;  ///< never set for zero of either sign nor non-finite
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
/// Infinities and NaNs come back not finite, with their text and no sign:
/// 0xFFC00000 is "1#IND", other NaNs with the top fraction bit set "1#QNAN",
/// the remaining NaNs "1#SNAN".
[[nodiscard]] DecimalDigits toDecimalDigits(float value);

/// Rounds the digit string to n significant digits, half away from zero,
/// with carries into the exponent; n = 0 keeps one unit in the last place
/// or nothing, and n < 0 always leaves nothing. The result keeps the
/// invariants of DecimalDigits: "1299" at 3 digits is "13", "999" at 2 is
/// "1" one exponent higher, and nothing at all is "0" with exponent 0.
/// A negative value left without a non-zero digit loses its sign. A value
/// that is not finite is left alone.
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
/// when it does not fit. An infinity or NaN fills the w columns with its
/// text and periods ("1#INF..."). 1 <= width <= kMaxFieldWidth and
/// 0 <= decimals; a width outside is taken as the nearest bound and
/// negative decimals as 0.
[[nodiscard]] FixedField editFixed(float value, int width, int decimals);

/// A free-form number text, 1 to 15 characters, not justified.
struct FreeText {
  std::array<char, 16> chars{};
  int length = 0;

  std::string_view text() const { return {chars.data(), std::size_t(length)}; }
};

/// Free-form real: "300.000000", "5.000000E-01", "0.000000E+00"; an
/// infinity or NaN is its text padded with periods to 13 characters.
[[nodiscard]] FreeText editFreeReal(float value);

/// Free-form integer: "0", "-5", "2147483647".
[[nodiscard]] FreeText editFreeInteger(std::int32_t value);

}  // namespace korvelin::recordio
