#pragma once

// A slow, independent model of the number editors, shared by the unit tests
// and the exhaustive sweep in bench/. It takes the exact decimal expansion of
// a float as a plain digit string and applies each rounding rule to a number
// laid out place by place, with no shortcuts in common with the editors.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>

namespace korvelin::testsupport {

/// The exact value of a float: 0.digits times 10^exponent. digits has no
/// leading or trailing zeros; zero is "0" with exponent 0.
struct ExactDecimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

/// Multiplies a decimal digit string (most significant first) by a factor
/// of at most 2^32, digit by digit, as on paper.
inline void multiplyDigits(std::string& digits, std::uint64_t factor) {
  std::uint64_t carry = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    const std::uint64_t x = std::uint64_t(*it - '0') * factor + carry;
    *it = char('0' + x % 10);
    carry = x / 10;
  }
  std::string head;
  for (; carry != 0; carry /= 10) {
    head.insert(head.begin(), char('0' + carry % 10));
  }
  digits.insert(0, head);
}

/// The exact decimal expansion of a finite float. Its bits give
/// m * 2^q; for q < 0 that is m * 5^-q / 10^-q, so the digits are those of
/// the integer m * 5^-q with the point moved -q places left.
inline ExactDecimal exactDecimal(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  const std::uint32_t biased = (bits >> 23) & 0xFF;
  std::uint32_t m = bits & 0x7F'FFFF;
  int q = -149;
  if (biased != 0) {
    m += 0x80'0000;
    q = int(biased) - 150;
  }
  ExactDecimal exact;
  if (m == 0) {
    exact.digits = "0";
    return exact;
  }
  exact.negative = (bits >> 31) != 0;
  exact.digits = std::to_string(m);
  for (int left = q; left > 0; left -= 32) {
    multiplyDigits(exact.digits, std::uint64_t{1} << std::min(left, 32));
  }
  for (int left = -q; left > 0; left -= 13) {
    std::uint64_t power = 1;
    for (int i = 0; i < std::min(left, 13); ++i) {
      power *= 5;
    }
    multiplyDigits(exact.digits, power);
  }
  exact.exponent = int(exact.digits.size()) - std::max(-q, 0);
  exact.digits.erase(exact.digits.find_last_not_of('0') + 1);
  return exact;
}

/// A non-negative decimal number held as one digit per power of ten, wide
/// enough for every float (down to 10^-149) and every field (63 decimals).
class PlaceValue {
 public:
  static constexpr int kLowest = -160;
  static constexpr int kHighest = 45;

  int digit(int power) const {
    return power < kLowest || power > kHighest ? 0 : places_[index(power)];
  }

  void setDigit(int power, int d) {
    places_[index(power)] = char(d);
    if (d != 0) {
      low_ = std::min(low_, power);
      high_ = std::max(high_, power);
    }
  }

  /// The highest power with a non-zero digit; kLowest - 1 for zero.
  int leadingPower() const {
    for (int power = high_; power >= low_; --power) {
      if (digit(power) != 0) {
        return power;
      }
    }
    return kLowest - 1;
  }

  bool isZero() const { return leadingPower() < kLowest; }

  /// Rounds half away from zero to a multiple of 10^power: the digit just
  /// below decides, then every lower place is cleared.
  void roundAt(int power) {
    const bool up = digit(power - 1) >= 5;
    for (int p = low_; p < power && p <= high_; ++p) {
      setDigit(p, 0);
    }
    if (power > high_) {
      low_ = kHighest + 1;
      high_ = kLowest - 1;
    } else {
      low_ = std::max(low_, power);
    }
    if (up) {
      int p = power;
      while (digit(p) == 9) {
        setDigit(p++, 0);
      }
      setDigit(p, digit(p) + 1);
    }
  }

  /// Adds another number place by place, carrying as on paper.
  void add(const PlaceValue& other) {
    int carry = 0;
    for (int p = other.low_; p <= kHighest && (p <= other.high_ || carry != 0);
         ++p) {
      const int sum = digit(p) + other.digit(p) + carry;
      setDigit(p, sum % 10);
      carry = sum / 10;
    }
  }

  bool operator==(const PlaceValue& other) const {
    return places_ == other.places_;
  }

 private:
  static std::size_t index(int power) { return std::size_t(power - kLowest); }
  std::array<char, kHighest - kLowest + 1> places_{};
  // Every non-zero digit lies in low_..high_ (an empty range at first); the
  // bounds only spare the scans the zeros outside them.
  int low_ = kHighest + 1;
  int high_ = kLowest - 1;
};

/// What the editors should make of one float: its bits' non-finite name, or
/// its sign and its 17-digit decimal form laid out by place.
struct ModelReal {
  bool finite = true;
  std::string name;  ///< "1#INF", "1#IND", "1#QNAN" or "1#SNAN"
  bool negative = false;
  PlaceValue form;
};

/// The exact magnitude of a finite float laid out by place.
inline PlaceValue exactPlaces(float value) {
  const ExactDecimal exact = exactDecimal(value);
  PlaceValue places;
  for (std::size_t i = 0; i < exact.digits.size(); ++i) {
    places.setDigit(exact.exponent - 1 - int(i), exact.digits[i] - '0');
  }
  return places;
}

/// The model of a finite value given by its sign and exact magnitude.
inline ModelReal modelFinite(bool negative, const PlaceValue& magnitude) {
  ModelReal model;
  model.negative = negative;
  model.form = magnitude;
  if (!model.form.isZero()) {
    model.form.roundAt(model.form.leadingPower() - 16);
  }
  return model;
}

inline ModelReal modelReal(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  if (((bits >> 23) & 0xFF) != 0xFF) {
    return modelFinite((bits >> 31) != 0, exactPlaces(value));
  }
  ModelReal model;
  model.finite = false;
  const std::uint32_t fraction = bits & 0x7F'FFFF;
  if (fraction == 0) {
    model.name = "1#INF";
  } else if (bits == 0xFFC0'0000) {
    model.name = "1#IND";
  } else if (fraction >= 0x40'0000) {
    model.name = "1#QNAN";
  } else {
    model.name = "1#SNAN";
  }
  return model;
}

/// The 17-digit form as the editors' decimal form: digits without trailing
/// zeros and the exponent of 0.d1d2...; "0" and 0 for zero.
struct ModelDigits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

inline ModelDigits modelDigits(const ModelReal& model) {
  ModelDigits result;
  const PlaceValue& form = model.form;
  if (form.isZero()) {
    result.digits = "0";
    return result;
  }
  result.negative = model.negative;
  const int lead = form.leadingPower();
  int last = PlaceValue::kLowest;
  while (form.digit(last) == 0) {
    ++last;
  }
  for (int p = lead; p >= last; --p) {
    result.digits += char('0' + form.digit(p));
  }
  result.exponent = lead + 1;
  return result;
}

/// The non-finite name, padded with periods or cut to `width`.
inline std::string modelNonFinite(const std::string& name, int width) {
  std::string text = name;
  text.resize(std::size_t(width), '.');
  return text;
}

/// Fw.d with its justification blanks: the whole w columns.
inline std::string modelFixed(const ModelReal& model, int width, int decimals) {
  if (!model.finite) {
    return modelNonFinite(model.name, width);
  }
  PlaceValue value = model.form;
  if (!model.form.isZero()) {
    // The last place kept is the d-th decimal, unless that would keep more
    // than seven significant digits.
    value.roundAt(std::max(-decimals, value.leadingPower() - 6));
  }
  std::string text;
  text.reserve(std::size_t(width) + 1);
  if (model.negative && !value.isZero()) {
    text += '-';
  }
  for (int p = value.leadingPower(); p >= 0; --p) {
    text += char('0' + value.digit(p));
  }
  text += '.';
  for (int p = -1; p >= -decimals; --p) {
    text += char('0' + value.digit(p));
  }
  if (int(text.size()) > width) {
    return std::string(std::size_t(width), '*');
  }
  return std::string(std::size_t(width) - text.size(), ' ') + text;
}

/// The free-form text of a real.
inline std::string modelFreeReal(const ModelReal& model) {
  if (!model.finite) {
    return modelNonFinite(model.name, 13);
  }
  PlaceValue value = model.form;
  if (value.isZero()) {
    return "0.000000E+00";
  }
  const int lead = value.leadingPower();
  value.roundAt(lead - 6);
  std::string text = model.negative ? "-" : "";
  if (lead >= 0 && lead <= 6) {
    for (int p = value.leadingPower(); p >= 0; --p) {
      text += char('0' + value.digit(p));
    }
    text += '.';
    for (int p = -1; p >= -6; --p) {
      text += char('0' + value.digit(p));
    }
    return text;
  }
  const int power = value.leadingPower();
  text += char('0' + value.digit(power));
  text += '.';
  for (int p = power - 1; p >= power - 6; --p) {
    text += char('0' + value.digit(p));
  }
  const int size = power < 0 ? -power : power;
  text += power < 0 ? "E-" : "E+";
  text += char('0' + size / 10);
  text += char('0' + size % 10);
  return text;
}

}  // namespace korvelin::testsupport
