#include "recordio/value_conversion.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace korvelin::recordio {
namespace {

using namespace std::string_view_literals;

std::uint32_t bitsOf(float value) {
  return std::bit_cast<std::uint32_t>(value);
}

// Floats are compared by bit pattern so that -0 and the subnormals count.
void expectReal(std::string_view text, std::uint32_t bits) {
  const Conversion<float> result = convertReal(text);
  ASSERT_FALSE(result.error.has_value())
      << "rejected with " << static_cast<int>(*result.error);
  EXPECT_EQ(bitsOf(result.value), bits) << "got " << result.value;
}

void expectRealError(std::string_view text, IoCondition condition) {
  const Conversion<float> result = convertReal(text);
  ASSERT_TRUE(result.error.has_value()) << "accepted as " << result.value;
  EXPECT_EQ(*result.error, condition);
}

struct RealCase {
  std::string_view text;
  std::uint32_t bits;
};

constexpr RealCase kAcceptedReals[] = {
    {"1.5+3", 0x44BB8000},  // a sign alone starts the exponent: 1500
    {"2.5-2", 0x3CCCCCCD},  // 0.025
    {"1.5D-3", 0x3AC49BA6},
    {"1.5d-3", 0x3AC49BA6},
    {"1.5e-3", 0x3AC49BA6},
    {"1.5E-3", 0x3AC49BA6},
    {"15E-4", 0x3AC49BA6},
    {"5.", 0x40A00000},
    {".5", 0x3F000000},
    {"-.5E1", 0xC0A00000},
    {"+7", 0x40E00000},
    {"0.1", 0x3DCCCCCD},
    {"1E+5", 0x47C35000},
    {"1e0000000000000000005", 0x47C35000},  // leading zeros in the exponent
    {"100000e-0000000000000000000", 0x47C35000},
    {"-0", 0x80000000},
    {"0e99999999999999999999", 0x00000000},  // zero is never out of range
    {"-000.000", 0x80000000},
    // Below the double range: signed zero, never an error.
    {"1e-50", 0x00000000},
    {"-1e-50", 0x80000000},
    {"1e-400", 0x00000000},
    {"-1e-99999999999999999999", 0x80000000},
    {"4.9e-324", 0x00000000},  // the smallest double subnormal
    // The float subnormal range.
    {"1e-45", 0x00000001},
    {"-1.4e-45", 0x80000001},
    {"7.1e-46", 0x00000001},  // above half the smallest subnormal
    {"7e-46", 0x00000000},    // below it
    {"1.17549435e-38", 0x00800000},
    {"1.1754942e-38", 0x007FFFFF},
    // The top of the float range: the limit is the largest float plus one
    // double ulp, 0x1.fffffe0000001p+127.
    {"3.40282346e38", 0x7F7FFFFF},
    {"3.402823466385289e38", 0x7F7FFFFF},  // exactly the limit
    {"-3.402823466385289e38", 0xFF7FFFFF},
    // Two roundings. 1 + 2^-24 is the midpoint between 1 and the next float;
    // these texts lie within half a double ulp of such midpoints, so their
    // nearest double is the midpoint itself and ties to even decide.
    {"1.000000059604644775490625", 0x3F800000},  // midpoint + 1e-19
    {"1.000000178813934326071875", 0x3F800002},  // (1 + 3*2^-24) - 1e-19
    {"7.0064923216240853547e-46", 0x00000000},   // just above 2^-150
    // The shortest text of the float 0x15AE43FD lies within half a double ulp
    // below the midpoint to its neighbour, so it does not come back.
    {"7.038531e-26", 0x15AE43FE},
    {"-7.038531e-26", 0x95AE43FE},
};

TEST(ConvertRealTest, AcceptedTexts) {
  for (const RealCase& c : kAcceptedReals) {
    SCOPED_TRACE(c.text);
    expectReal(c.text, c.bits);
  }
}

// The double-rounding rows above only prove something if a single rounding
// straight to float would have given another answer.
TEST(ConvertRealTest, DoubleRoundingRowsDifferFromSingleRounding) {
  for (std::string_view text :
       {"1.000000059604644775490625"sv, "1.000000178813934326071875"sv,
        "7.0064923216240853547e-46"sv, "7.038531e-26"sv}) {
    SCOPED_TRACE(text);
    float direct = 0.0f;
    ASSERT_EQ(
        std::from_chars(text.data(), text.data() + text.size(), direct).ec,
        std::errc{});
    EXPECT_NE(bitsOf(direct), bitsOf(convertReal(text).value));
  }
}

struct RealErrorCase {
  std::string_view text;
  IoCondition condition;
};

constexpr RealErrorCase kRejectedReals[] = {
    {"1.5E", IoCondition::kBadReal},
    {"1.5E+", IoCondition::kBadReal},
    {"1.5+", IoCondition::kBadReal},
    {"1.5d", IoCondition::kBadReal},
    {"E5", IoCondition::kBadReal},
    {".e5", IoCondition::kBadReal},  // the mantissa needs a digit
    {".", IoCondition::kBadReal},
    {"-.", IoCondition::kBadReal},
    {"+", IoCondition::kBadReal},
    {"-", IoCondition::kBadReal},
    {"++1", IoCondition::kBadReal},
    {"1.2.3", IoCondition::kBadReal},
    {"12a", IoCondition::kBadReal},
    {"0x10", IoCondition::kBadReal},
    {"1;2", IoCondition::kBadReal},
    {"1,5", IoCondition::kBadReal},
    {"inf", IoCondition::kBadReal},
    {"nan", IoCondition::kBadReal},
    {"1.5 ", IoCondition::kBadReal},
    {"1e 5", IoCondition::kBadReal},
    {"1e+-5", IoCondition::kBadReal},
    {"1+-5", IoCondition::kBadReal},
    {"1.5E3D2", IoCondition::kBadReal},  // one exponent only
    {"1.5+3+2", IoCondition::kBadReal},
    {"1e5.", IoCondition::kBadReal},
    {"1.5\0"sv, IoCondition::kBadReal},         // NUL is a stray byte here
    {"1.5\x1A"sv, IoCondition::kBadReal},       // so is control-Z
    {"\xEF\xBB\xBF.5", IoCondition::kBadReal},  // byte-order mark in front
    {"1\xB5", IoCondition::kBadReal},
    // Beyond the float range, but the double is finite.
    {"1e39", IoCondition::kRealBeyondSingle},
    {"-1e39", IoCondition::kRealBeyondSingle},
    {"3.4028235e38", IoCondition::kRealBeyondSingle},
    {"3.4028234663852894e38", IoCondition::kRealBeyondSingle},   // limit + ulp
    {"1.7976931348623158e308", IoCondition::kRealBeyondSingle},  // DBL_MAX
    // Beyond the double range.
    {"1.7976931348623159e308", IoCondition::kRealBeyondDouble},
    {"1e309", IoCondition::kRealBeyondDouble},
    {"1e400", IoCondition::kRealBeyondDouble},
    {"-1e400", IoCondition::kRealBeyondDouble},
    {"1e99999999999999", IoCondition::kRealBeyondDouble},
    {"0.0001e99999999999999999999", IoCondition::kRealBeyondDouble},
};

TEST(ConvertRealTest, RejectedTexts) {
  for (const RealErrorCase& c : kRejectedReals) {
    SCOPED_TRACE(c.text);
    expectRealError(c.text, c.condition);
  }
}

// Mantissas longer than the digits handed on to the double conversion.
TEST(ConvertRealTest, LongMantissas) {
  {
    SCOPED_TRACE("1 and 1000 zeros, e-1000");
    expectReal("1" + std::string(1000, '0') + "e-1000", 0x3F800000);
  }
  {
    SCOPED_TRACE("0. then 400 zeros then 1, e401");
    expectReal("0." + std::string(400, '0') + "1e401", 0x3F800000);
  }
  {
    SCOPED_TRACE("400 integer digits");
    expectRealError("1" + std::string(400, '0'),
                    IoCondition::kRealBeyondDouble);
  }
  // 1 + 2^-24 + 2^-53 is a double midpoint whose even neighbour is the float
  // midpoint 1 + 2^-24, which goes down to 1. A non-zero digit far past the
  // 768th must still tip it up to the odd double, which goes up.
  const std::string doubleMidpoint =
      "1.00000005960464488641292746251565404236316680908203125";
  {
    SCOPED_TRACE("exact double midpoint");
    expectReal(doubleMidpoint + std::string(1000, '0'), 0x3F800000);
  }
  {
    SCOPED_TRACE("double midpoint + 1e-1054");
    expectReal(doubleMidpoint + std::string(1000, '0') + "1", 0x3F800001);
  }
}

// Any finite float, written the ways our files write reals, comes back as
// exactly that float. Two floats are the exceptions in their shortest
// digits (checked over every float): the largest, whose "3.4028235e38" is
// beyond the limit, and 0x15AE43FD, a double-rounding row above. Their exact
// positional digits still come back.
TEST(ConvertRealTest, PrintedFloatsRoundTrip) {
  std::mt19937 random(20240611u);
  std::uniform_int_distribution<std::uint32_t> anyBits;
  for (int n = 0; n < 100'000; ++n) {
    const float value = std::bit_cast<float>(anyBits(random));
    if (!std::isfinite(value)) {
      continue;
    }
    char buffer[80];
    const auto shortest =
        std::to_chars(std::begin(buffer), std::end(buffer), value);
    const std::string plain(buffer, shortest.ptr);
    const auto scientific = std::to_chars(std::begin(buffer), std::end(buffer),
                                          value, std::chars_format::scientific);
    std::string withD(buffer, scientific.ptr);  // "1.5e+03"
    const auto letter = withD.find('e');
    ASSERT_NE(letter, std::string::npos) << withD;
    std::string bareSign = withD;
    bareSign.erase(letter, 1);  // "1.5+03"
    withD[letter] = 'D';        // "1.5D+03"
    const auto fixed = std::to_chars(std::begin(buffer), std::end(buffer),
                                     value, std::chars_format::fixed);
    const std::string positional(buffer, fixed.ptr);  // up to 50 digits

    const std::uint32_t magnitudeBits = bitsOf(value) & 0x7FFF'FFFFu;
    if (magnitudeBits == 0x7F7F'FFFFu || magnitudeBits == 0x15AE'43FDu) {
      ASSERT_EQ(bitsOf(convertReal(positional).value), bitsOf(value));
      continue;
    }
    for (const std::string& text : {plain, withD, bareSign, positional}) {
      const Conversion<float> result = convertReal(text);
      ASSERT_FALSE(result.error.has_value()) << text;
      ASSERT_EQ(bitsOf(result.value), bitsOf(value)) << text;
    }
  }
}

// ---------------------------------------------------------------------------

struct IntegerCase {
  std::string_view text;
  std::int32_t value;
};

constexpr IntegerCase kAcceptedIntegers[] = {
    {"3", 3},
    {"+3", 3},
    {"-1", -1},
    {"0", 0},
    {"-0", 0},
    {"+", 0},  // a sign alone
    {"-", 0},
    {"007", 7},
    {"2147483647", 2147483647},
    {"-2147483647", -2147483647},
    {"-2147483648", INT32_MIN},  // the one value beyond the magnitude limit
    {"16#FF", 255},
    {"16#ff", 255},
    {"#10", 16},   // no base digits: hexadecimal
    {"0#10", 16},  // base 0: hexadecimal
    {"2#1011", 11},
    {"36#zZ", 1295},
    {"-#FF", -255},  // the sign applies to the based value
    {"16#", 0},      // no digits after the "#"
    {"#", 0},
    {"16#7FFFFFFF", 2147483647},
    {"16#80000000", INT32_MIN},  // taken as the 32-bit pattern
    {"16#FFFFFFFF", -1},
    {"8#37777777777", -1},
    {"-16#FFFFFFFF", 1},  // negation wraps
    {"-16#80000000", INT32_MIN},
    {"10#2147483647", 2147483647},
    // NUL and control-Z end the digits; nothing after them is looked at.
    {"12\0junk"sv, 12},
    {"12\x1A-34"sv, 12},
    {"-5\0z9"sv, -5},
    {"\0+12"sv, 0},
    {"16#F\0#z"sv, 15},
    {"#\x1A"sv, 0},
};

TEST(ConvertIntegerTest, AcceptedTexts) {
  for (const IntegerCase& c : kAcceptedIntegers) {
    SCOPED_TRACE(c.text);
    const Conversion<std::int32_t> result = convertInteger(c.text);
    ASSERT_FALSE(result.error.has_value())
        << "rejected with " << static_cast<int>(*result.error);
    EXPECT_EQ(result.value, c.value);
  }
}

struct IntegerErrorCase {
  std::string_view text;
  IoCondition condition;
};

constexpr IntegerErrorCase kRejectedIntegers[] = {
    {"3.0", IoCondition::kBadIntegerDigit},
    {"1E3", IoCondition::kBadIntegerDigit},
    {"3a", IoCondition::kBadIntegerDigit},
    {"1 2", IoCondition::kBadIntegerDigit},
    {"+-3", IoCondition::kBadIntegerDigit},  // one sign only
    {"3-", IoCondition::kBadIntegerDigit},
    {"\xEF\xBB\xBF-1", IoCondition::kBadIntegerDigit},
    {"2#102", IoCondition::kBadIntegerDigit},
    {"8#8", IoCondition::kBadIntegerDigit},
    {"16#G", IoCondition::kBadIntegerDigit},
    {"16#-1", IoCondition::kBadIntegerDigit},   // no sign after the "#"
    {"1A#5", IoCondition::kBadIntegerDigit},    // the base is decimal
    {"3a#1#2", IoCondition::kBadIntegerDigit},  // the first bad byte decides
    {"2147483648", IoCondition::kIntegerOverflow},
    {"+2147483648", IoCondition::kIntegerOverflow},
    {"-2147483649", IoCondition::kIntegerOverflow},
    {"-2147483648\0"sv, IoCondition::kIntegerOverflow},  // not the exact text
    {"16#100000000", IoCondition::kIntegerOverflow},
    {"10#2147483648", IoCondition::kIntegerOverflow},  // base 10: 31 bits
    {"99999999999#1", IoCondition::kIntegerOverflow},  // before "#" is seen
    {"37#1", IoCondition::kBadBase},
    {"1#1", IoCondition::kBadBase},
    {"1#", IoCondition::kBadBase},
    {"16#1#2", IoCondition::kSecondBaseMark},
    {"##", IoCondition::kSecondBaseMark},
};

TEST(ConvertIntegerTest, RejectedTexts) {
  for (const IntegerErrorCase& c : kRejectedIntegers) {
    SCOPED_TRACE(c.text);
    const Conversion<std::int32_t> result = convertInteger(c.text);
    ASSERT_TRUE(result.error.has_value()) << "accepted as " << result.value;
    EXPECT_EQ(*result.error, c.condition);
  }
}

// Thousands of digits neither overflow the accumulator nor lose the limit.
TEST(ConvertIntegerTest, LongDigitStrings) {
  const std::string zeros(5000, '0');
  EXPECT_EQ(convertInteger(zeros + "2147483647").value, 2147483647);
  EXPECT_EQ(convertInteger("-16#" + zeros + "FFFFFFFF").value, 1);
  EXPECT_EQ(convertInteger(std::string(5000, '9')).error,
            IoCondition::kIntegerOverflow);
  EXPECT_EQ(convertInteger("36#" + std::string(5000, 'z')).error,
            IoCondition::kIntegerOverflow);
}

}  // namespace
}  // namespace korvelin::recordio
