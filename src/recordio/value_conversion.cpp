#include "recordio/value_conversion.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

namespace korvelin::recordio {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSign(char c) { return c == '+' || c == '-'; }

bool isExponentLetter(char c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

template <typename T>
Conversion<T> rejected(IoCondition condition) {
  return Conversion<T>{T{}, condition};
}

// ---------------------------------------------------------------------------
// Reals
// ---------------------------------------------------------------------------

/// Where the parts of an accepted real text lie, found by scanReal before any
/// arithmetic is done. Offsets index the text.
struct RealParts {
  bool negative = false;
  std::size_t intBegin = 0, intEnd = 0;    // digits before the point
  std::size_t fracBegin = 0, fracEnd = 0;  // digits after the point
  std::int64_t exponent = 0;               // saturated, see kExponentCap
};

// An exponent beyond this decides the outcome on its own (the mantissa has at
// most a few hundred digits in any text the scanner can hand us, and even a
// huge one cannot move the value back into range), so its digits are not
// accumulated further. Keeps "1e99999999999999999999" free of overflow.
constexpr std::int64_t kExponentCap = 1'000'000'000;

std::size_t skipDigits(std::string_view text, std::size_t i) {
  while (i < text.size() && isDigit(text[i])) {
    ++i;
  }
  return i;
}

/// Accepts exactly [sign] mantissa [exponent]; anything else, including a
/// byte left over after the longest such form, rejects the whole text.
bool scanReal(std::string_view text, RealParts& parts) {
  std::size_t i = 0;
  if (i < text.size() && isSign(text[i])) {
    parts.negative = text[i] == '-';
    ++i;
  }
  parts.intBegin = i;
  i = skipDigits(text, i);
  parts.intEnd = i;
  parts.fracBegin = parts.fracEnd = i;
  if (i < text.size() && text[i] == '.') {
    parts.fracBegin = ++i;
    i = skipDigits(text, i);
    parts.fracEnd = i;
  }
  // "." and "+" alone have no digit at all.
  if (parts.intEnd == parts.intBegin && parts.fracEnd == parts.fracBegin) {
    return false;
  }
  if (i == text.size()) {
    return true;
  }
  // "1.5E-3" has a letter and an optional sign; "1.5-3" a sign alone.
  if (isExponentLetter(text[i])) {
    ++i;
    if (i < text.size() && isSign(text[i])) {
      ++i;
    }
  } else if (isSign(text[i])) {
    ++i;
  } else {
    return false;
  }
  const bool negativeExponent = text[i - 1] == '-';
  const std::size_t digitsBegin = i;
  std::int64_t exponent = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (exponent < kExponentCap) {
      exponent = exponent * 10 + (text[i] - '0');
    }
  }
  if (i == digitsBegin || i != text.size()) {
    return false;  // "1.5E", "1.5E+", "1e5x"
  }
  parts.exponent = negativeExponent ? -exponent : exponent;
  return true;
}

// Significant digits handed to from_chars. Every double and every midpoint
// between two doubles has at most 767 significant decimal digits, so cutting
// the text after 768 digits and standing in a single 1 for whatever non-zero
// digits were cut keeps every rounding decision of the full text.
constexpr std::size_t kMaxSignificantDigits = 768;

// Values whose leading digit lies in these decimal places decide the outcome
// without from_chars. Below 1e-60 the nearest double is far under half the
// smallest float subnormal (about 7e-46), so the float is a signed zero; this
// also keeps from_chars away from the double underflow range, where
// libstdc++ reports result_out_of_range for values that round to zero and
// leaves the result unset, exactly as it does for overflow. From 1e309 up the
// value is beyond the largest double (about 1.798e308).
constexpr std::int64_t kLowestPlaceConverted = -60;
constexpr std::int64_t kHighestPlaceConverted = 308;
static_assert(kLowestPlaceConverted -
                  static_cast<std::int64_t>(kMaxSignificantDigits) >
              -9999);

// The largest float plus one double ulp. A double up to this rounds to the
// largest float; one above it is out of range for a float, although the
// doubles between it and the float midpoint 0x1.ffffffp+127 would still round
// down to the largest float.
constexpr double kSingleLimit = 0x1.fffffe0000001p+127;

}  // namespace

Conversion<float> convertReal(std::string_view text) {
  RealParts parts;
  if (!scanReal(text, parts)) {
    return rejected<float>(IoCondition::kBadReal);
  }

  // The mantissa digits, read as one integer D, give the value
  // D * 10^(exponent - fraction digits); "12.50e1" is 1250 * 10^(1 - 2).
  // Find the first non-zero digit of D across the point.
  const std::size_t intCount = parts.intEnd - parts.intBegin;
  const std::size_t fracCount = parts.fracEnd - parts.fracBegin;
  const auto digitAt = [&](std::size_t k) {
    return k < intCount ? text[parts.intBegin + k]
                        : text[parts.fracBegin + (k - intCount)];
  };
  const std::size_t total = intCount + fracCount;
  std::size_t first = 0;
  while (first < total && digitAt(first) == '0') {
    ++first;
  }
  const float signedZero = parts.negative ? -0.0f : 0.0f;
  if (first == total) {
    return {signedZero, std::nullopt};  // "0e999999" is 0, not out of range
  }

  // The decimal place of the leading digit: "0.0123" -> -2, "450" -> 2.
  const std::size_t significant = total - first;
  const std::int64_t leadingPlace = parts.exponent -
                                    static_cast<std::int64_t>(fracCount) +
                                    static_cast<std::int64_t>(significant) - 1;
  if (leadingPlace < kLowestPlaceConverted) {
    return {signedZero, std::nullopt};
  }
  if (leadingPlace > kHighestPlaceConverted) {
    return rejected<float>(IoCondition::kRealBeyondDouble);
  }

  // Most values in an export have a handful of digits: when the digits fit
  // exactly in a double and the power of ten is exact as well, one
  // correctly rounded multiplication or division gives the nearest double.
  // "12345.6" -> 123456 / 10^1.
  if (significant <= 15) {
    std::uint64_t digits = 0;
    for (std::size_t k = first; k < total; ++k) {
      digits = digits * 10 + static_cast<std::uint64_t>(digitAt(k) - '0');
    }
    const std::int64_t place =
        leadingPlace - static_cast<std::int64_t>(significant) + 1;
    static constexpr std::array<double, 23> kExactPowers = {
        1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (place >= -22 && place <= 22) {
      const auto d = static_cast<double>(digits);
      const double magnitude =
          place >= 0 ? d * kExactPowers[static_cast<std::size_t>(place)]
                     : d / kExactPowers[static_cast<std::size_t>(-place)];
      // At most 15 digits times at most 1e22 stays far below the limits.
      const float value = static_cast<float>(magnitude);
      return {parts.negative ? -value : value, std::nullopt};
    }
  }

  // Normalised copy for from_chars: the significant digits, no point, no
  // sign, then "e" and the place of the last digit written.
  // "-1.5D-3" -> "15e-4".
  std::array<char, kMaxSignificantDigits + 1 + 1 + 8> buffer{};
  std::size_t length = 0;
  const std::size_t kept =
      significant < kMaxSignificantDigits ? significant : kMaxSignificantDigits;
  for (std::size_t k = first; k < first + kept; ++k) {
    buffer[length++] = digitAt(k);
  }
  for (std::size_t k = first + kept; k < total; ++k) {
    if (digitAt(k) != '0') {
      buffer[length++] = '1';  // sticky digit for the cut-off tail
      break;
    }
  }
  const std::int64_t lastPlace =
      leadingPlace - static_cast<std::int64_t>(length) + 1;
  buffer[length++] = 'e';
  // lastPlace lies in [kLowestPlaceConverted - 768, 308]: at most four
  // characters, well inside the eight kept for it, so to_chars cannot fail.
  const char* const normalisedEnd =
      std::to_chars(buffer.data() + length, buffer.data() + buffer.size(),
                    lastPlace)
          .ptr;

  double magnitude = 0.0;
  const auto parsed = std::from_chars(buffer.data(), normalisedEnd, magnitude);
  // The copy starts with a digit and tiny values never get here, so the only
  // failure left is overflow; an infinity is accepted as its report too.
  if (parsed.ec != std::errc{} || std::isinf(magnitude)) {
    return rejected<float>(IoCondition::kRealBeyondDouble);
  }
  if (magnitude > kSingleLimit) {
    return rejected<float>(IoCondition::kRealBeyondSingle);
  }
  // The second rounding, ties to even: "1.000000059604644775490625" is just
  // above the float midpoint 1 + 2^-24, but its nearest double is that
  // midpoint, which goes to the even neighbour 1.0.
  const float value = static_cast<float>(magnitude);
  return {parts.negative ? -value : value, std::nullopt};
}

// ---------------------------------------------------------------------------
// Integers
// ---------------------------------------------------------------------------

namespace {

/// 0-9 then a-z / A-Z for 10 to 35; anything else is no digit of any base.
std::uint32_t digitValue(char c) {
  if (c >= '0' && c <= '9')
    return static_cast<std::uint32_t>(c - '0');
  if (c >= 'a' && c <= 'z')
    return static_cast<std::uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'Z')
    return static_cast<std::uint32_t>(c - 'A' + 10);
  return std::numeric_limits<std::uint32_t>::max();
}

// Base 10 keeps the signed limit, also when written "10#"; every other base
// takes the full 32-bit pattern, so "16#FFFFFFFF" is -1.
std::uint64_t limitFor(std::uint32_t base) {
  return base == 10 ? 0x7FFF'FFFFu : 0xFFFF'FFFFu;
}

}  // namespace

Conversion<std::int32_t> convertInteger(std::string_view text) {
  // The one value whose magnitude is beyond the base-10 limit.
  if (text == "-2147483648") {
    return {std::numeric_limits<std::int32_t>::min(), std::nullopt};
  }

  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && isSign(text[i])) {
    negative = text[i] == '-';
    ++i;
  }

  // Bytes are judged left to right and the first bad one names the error:
  // "3a#1#2" is a bad digit, and "99999999999#1" already overflows before
  // its "#" is seen. The value is checked after every digit, so it never
  // exceeds 0xFFFFFFFF * 36 + 35 however long the text is.
  std::uint64_t value = 0;
  std::uint32_t base = 10;
  bool based = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0' || c == '\x1A') {
      break;  // "12\0junk" is 12
    }
    if (c == '#') {
      if (based) {
        return rejected<std::int32_t>(IoCondition::kSecondBaseMark);
      }
      // "#FF" and "0#FF" are hexadecimal.
      const std::uint64_t written = value == 0 ? 16 : value;
      if (written < 2 || written > 36) {
        return rejected<std::int32_t>(IoCondition::kBadBase);
      }
      base = static_cast<std::uint32_t>(written);
      based = true;
      value = 0;
      continue;
    }
    const std::uint32_t digit = digitValue(c);
    if (digit >= base) {
      // A sign after "#" lands here too: "16#-1" is a bad digit.
      return rejected<std::int32_t>(IoCondition::kBadIntegerDigit);
    }
    value = value * base + digit;
    if (value > limitFor(base)) {
      return rejected<std::int32_t>(IoCondition::kIntegerOverflow);
    }
  }

  // Negate the 32-bit pattern modulo 2^32: "-16#FFFFFFFF" is 1, and
  // "-16#80000000" stays the most negative value.
  auto pattern = static_cast<std::uint32_t>(value);
  if (negative) {
    pattern = 0u - pattern;
  }
  return {static_cast<std::int32_t>(pattern), std::nullopt};
}

}  // namespace korvelin::recordio
