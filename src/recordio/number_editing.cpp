#include "recordio/number_editing.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

namespace korvelin::recordio {

namespace {

// Significant digits the editors print: a float carries about seven.
constexpr int kPrintedDigits = 7;

// Digits of the decimal form every real goes through.
constexpr int kFormDigits = 17;

// Columns a free-form infinity or NaN fills.
constexpr int kFreeNonFiniteWidth = 13;

constexpr std::uint32_t kLimbBase = 1'000'000'000;

// An unsigned integer held as base 10^9 limbs, least significant first, so
// its decimal digits can be read off without dividing the whole.
//
// A finite float is m * 2^q with m < 2^24 and -149 <= q <= 104. For q >= 0
// the value is the integer m * 2^q < 2^128, 39 digits at most. For q < 0 it
// is m * 5^-q / 10^-q, so the digits are those of the integer m * 5^-q and
// only the decimal point moves; 2^24 * 5^149 < 10^112 takes 13 limbs.
struct DecimalInteger {
  std::array<std::uint32_t, 13> limbs{};
  int count = 0;

  // factor < 2^32 keeps limb * factor + carry below 2^64.
  constexpr DecimalInteger times(std::uint64_t factor) const {
    DecimalInteger product;
    std::uint64_t carry = 0;
    for (int i = 0; i < count; ++i) {
      const std::uint64_t x = limbs[std::size_t(i)] * factor + carry;
      product.limbs[std::size_t(i)] = std::uint32_t(x % kLimbBase);
      carry = x / kLimbBase;
    }
    product.count = count;
    for (; carry != 0; carry /= kLimbBase) {
      product.limbs[std::size_t(product.count++)] =
          std::uint32_t(carry % kLimbBase);
    }
    return product;
  }

  // Writes the leading decimal digits (at most 27: enough for 17 kept ones
  // and the one that decides the rounding) and returns how many digits the
  // whole integer has.
  int leadingDigits(std::array<char, 27>& out, int& written) const {
    std::array<char, 9> topDigits{};
    int topCount = 0;
    for (std::uint32_t rest = limbs[std::size_t(count - 1)]; rest != 0;
         rest /= 10) {
      topDigits[std::size_t(topCount++)] = char('0' + rest % 10);
    }
    written = 0;
    for (int i = topCount - 1; i >= 0; --i) {
      out[std::size_t(written++)] = topDigits[std::size_t(i)];
    }
    for (int limb = count - 2; limb >= 0 && limb >= count - 3; --limb) {
      std::uint32_t rest = limbs[std::size_t(limb)];
      for (int i = 8; i >= 0; --i) {
        out[std::size_t(written + i)] = char('0' + rest % 10);
        rest /= 10;
      }
      written += 9;
    }
    return topCount + 9 * (count - 1);
  }
};

// base^0 .. base^(size - 1), worked out by the compiler, so that a float's
// expansion is one multiplication by m: 14 KB of tables instead of up to a
// dozen passes over the limbs for every subnormal.
template <std::size_t size>
constexpr std::array<DecimalInteger, size> powersOf(std::uint64_t base) {
  std::array<DecimalInteger, size> powers{};
  powers[0].limbs[0] = 1;
  powers[0].count = 1;
  for (std::size_t i = 1; i < size; ++i) {
    powers[i] = powers[i - 1].times(base);
  }
  return powers;
}

constexpr auto kPowersOfFive = powersOf<150>(5);
constexpr auto kPowersOfTwo = powersOf<105>(2);

void setText(DecimalDigits& decimal, std::string_view text) {
  std::copy(text.begin(), text.end(), decimal.digits.begin());
  decimal.length = int(text.size());
}

void setZero(DecimalDigits& decimal) {
  decimal.negative = false;
  decimal.exponent = 0;
  setText(decimal, "0");
}

// The x86 "indefinite" value, the NaN its invalid operations produce, has its
// own text; other NaNs are told apart by the quiet bit.
std::string_view nonFiniteText(std::uint32_t bits) {
  if ((bits & 0x007F'FFFF) == 0) {
    return "1#INF";
  }
  if (bits == 0xFFC0'0000) {
    return "1#IND";
  }
  if ((bits & 0x0040'0000) != 0) {
    return "1#QNAN";
  }
  return "1#SNAN";
}

// The digit of the decimal form at index i (0 is the first significant one);
// places before the first digit and past the last one are zeros.
char digitAt(const DecimalDigits& decimal, int i) {
  return i >= 0 && i < decimal.length ? decimal.digits[std::size_t(i)] : '0';
}

// Writes text and then periods up to `width` characters, cut to `width`.
char* fillNonFinite(char* out, std::string_view text, int width) {
  for (int i = 0; i < width; ++i) {
    *out++ = std::size_t(i) < text.size() ? text[std::size_t(i)] : '.';
  }
  return out;
}

FixedField asterisks(int width) {
  FixedField field;
  std::fill_n(field.chars.begin(), width, '*');
  field.length = width;
  return field;
}

}  // namespace

DecimalDigits toDecimalDigits(float value) {
  DecimalDigits decimal;
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t magnitude = bits & 0x7FFF'FFFF;
  if (magnitude >= 0x7F80'0000) {
    decimal.finite = false;
    setText(decimal, nonFiniteText(bits));
    return decimal;
  }
  if (magnitude == 0) {
    setZero(decimal);
    return decimal;
  }
  decimal.negative = (bits >> 31) != 0;

  const std::uint32_t biased = magnitude >> 23;
  std::uint32_t m = magnitude & 0x007F'FFFF;
  int q = -149;
  if (biased != 0) {
    m |= 0x0080'0000;
    q = int(biased) - 150;
  }
  // Trailing zero bits of m only lengthen the product below.
  const int shift = std::min(std::countr_zero(m), std::max(-q, 0));
  m >>= shift;
  q += shift;

  // m * 2^q, or m * 5^-q with the point -q places from the right.
  const DecimalInteger integer =
      q >= 0 ? kPowersOfTwo[std::size_t(q)].times(m)
             : kPowersOfFive[std::size_t(-q)].times(m);
  const int pointFromRight = std::max(-q, 0);

  std::array<char, 27> leading{};
  int written = 0;
  const int total = integer.leadingDigits(leading, written);
  decimal.exponent = total - pointFromRight;

  // Half away from zero at the 17th digit needs only the 18th: 5 or more is
  // at least one half of the last kept unit, whatever follows it.
  // 1.788139343261718750e-7 (3 * 2^-24, exactly 18 digits) -> ...17188.
  int kept = std::min(written, kFormDigits);
  if (written > kFormDigits && leading[kFormDigits] >= '5') {
    int i = kFormDigits - 1;
    while (i >= 0 && leading[std::size_t(i)] == '9') {
      leading[std::size_t(i--)] = '0';
    }
    if (i < 0) {
      // 99999999999999999|5... -> 1 and one place more.
      leading[0] = '1';
      ++decimal.exponent;
    } else {
      ++leading[std::size_t(i)];
    }
  }
  while (leading[std::size_t(kept - 1)] == '0') {
    --kept;
  }
  std::copy_n(leading.begin(), kept, decimal.digits.begin());
  decimal.length = kept;
  return decimal;
}

void roundDigits(DecimalDigits& decimal, int n) {
  if (!decimal.finite || n >= decimal.length) {
    return;
  }
  const int kept = std::max(n, 0);
  if (n >= 0 && decimal.digits[std::size_t(n)] >= '5') {
    // "1299|7" at 4 -> "13": the carry turns the nines into trailing zeros,
    // which the form does not keep.
    int i = kept - 1;
    while (i >= 0 && decimal.digits[std::size_t(i)] == '9') {
      --i;
    }
    if (i < 0) {
      // "999|5" at 3 -> "1" one place up; at n = 0, "6" -> "1" one place
      // up, one unit in the place just above the first digit.
      decimal.digits[0] = '1';
      decimal.length = 1;
      ++decimal.exponent;
      return;
    }
    ++decimal.digits[std::size_t(i)];
    decimal.length = i + 1;
    return;
  }
  int length = kept;
  while (length > 0 && decimal.digits[std::size_t(length - 1)] == '0') {
    --length;
  }
  if (length == 0) {
    // -0.0004 at three decimals: nothing is left, not even the sign.
    setZero(decimal);
    return;
  }
  decimal.length = length;
}

FixedField editFixed(float value, int width, int decimals) {
  width = std::clamp(width, 1, kMaxFieldWidth);
  decimals = std::max(decimals, 0);

  DecimalDigits decimal = toDecimalDigits(value);
  if (!decimal.finite) {
    // +Inf in F8.3 -> "1#INF...", in F3.0 -> "1#I": no sign, no blanks.
    FixedField field;
    fillNonFinite(field.chars.data(), decimal.text(), width);
    field.length = width;
    return field;
  }
  // The period and the decimals alone are too wide; this also keeps
  // exponent + decimals far from overflow.
  if (decimals >= width) {
    return asterisks(width);
  }

  // The places that reach the d-th decimal, at most seven of them:
  // 12345.677734375 in F11.3 -> n = 8, cut to 7 -> 1234568 -> "12345.680";
  // 0.0006 in F8.3 -> n = 0, first digit 6 -> one unit -> "-.001" if
  // negative; -0.0004 -> n = 0, first digit 4 -> zero, no sign -> ".000";
  // 0.00004 in F8.3 -> n = -1 -> zero.
  roundDigits(decimal, std::min(decimal.exponent + decimals, kPrintedDigits));

  // No digit before the period for a zero integer part: 0.25 -> ".25".
  const int integerDigits = std::max(decimal.exponent, 0);
  const int length = (decimal.negative ? 1 : 0) + integerDigits + 1 + decimals;
  if (length > width) {
    // 100.0 in F5.2 -> "100.00" is six characters -> "*****".
    return asterisks(width);
  }

  FixedField field;
  field.blanks = width - length;
  field.length = length;
  char* out = field.chars.data();
  if (decimal.negative) {
    *out++ = '-';
  }
  for (int i = 0; i < integerDigits; ++i) {
    *out++ = digitAt(decimal, i);
  }
  *out++ = '.';
  // 0.0012 in F8.4 (digits "12", exponent -2) -> indices -2, -1, 0, 1 ->
  // ".0012"; past the seventh digit only zeros follow.
  for (int j = 0; j < decimals; ++j) {
    *out++ = digitAt(decimal, decimal.exponent + j);
  }
  return field;
}

FreeText editFreeReal(float value) {
  FreeText text;
  char* out = text.chars.data();
  DecimalDigits decimal = toDecimalDigits(value);
  if (!decimal.finite) {
    // -Inf -> "1#INF........".
    text.length = kFreeNonFiniteWidth;
    fillNonFinite(out, decimal.text(), kFreeNonFiniteWidth);
    return text;
  }

  // The style follows the 17-digit form before the rounding to seven:
  // 9999999.0 stays fixed, 10000000.0 is "1.000000E+07", and 99999.997
  // (99999.9968...) is fixed and carries to "100000.000000".
  const bool fixedStyle = decimal.exponent >= 1 && decimal.exponent <= 7;
  roundDigits(decimal, kPrintedDigits);

  if (decimal.negative) {
    *out++ = '-';
  }
  if (fixedStyle) {
    // 300.0 -> "300.000000".
    for (int i = 0; i < decimal.exponent; ++i) {
      *out++ = digitAt(decimal, i);
    }
    *out++ = '.';
    for (int j = 0; j < 6; ++j) {
      *out++ = digitAt(decimal, decimal.exponent + j);
    }
  } else {
    // 0.001234 -> digits "1234", exponent -2 -> "1.234000E-03";
    // 0.99999997 -> carries to "1", exponent 1 -> "1.000000E+00";
    // zero -> "0.000000E+00", not E-01.
    *out++ = digitAt(decimal, 0);
    *out++ = '.';
    for (int i = 1; i <= 6; ++i) {
      *out++ = digitAt(decimal, i);
    }
    const bool zero = decimal.digits[0] == '0';
    const int power = zero ? 0 : decimal.exponent - 1;
    const int size = power < 0 ? -power : power;
    *out++ = 'E';
    *out++ = power < 0 ? '-' : '+';
    *out++ = char('0' + size / 10);
    *out++ = char('0' + size % 10);
  }
  text.length = int(out - text.chars.data());
  return text;
}

FreeText editFreeInteger(std::int32_t value) {
  // Through unsigned arithmetic, -2147483648 has a magnitude too.
  const auto bits = std::uint32_t(value);
  std::uint32_t magnitude = value < 0 ? 0U - bits : bits;
  std::array<char, 10> reversed{};
  int count = 0;
  do {
    reversed[std::size_t(count++)] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);

  FreeText text;
  char* out = text.chars.data();
  if (value < 0) {
    *out++ = '-';
  }
  while (count > 0) {
    *out++ = reversed[std::size_t(--count)];
  }
  text.length = int(out - text.chars.data());
  return text;
}

}  // namespace korvelin::recordio
