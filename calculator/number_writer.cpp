#include "calculator/number_writer.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace calculator {
namespace {

// The stream's default: %g with six significant digits.
constexpr int kSignificantDigits = 6;
constexpr double kSevenDigits = 1e6;
// %g writes the exponent form below this decimal exponent, and from the
// precision on.
constexpr int kSmallestFixedExponent = -4;
constexpr std::string_view kNotANumberText = "nan";

// A number's decimal digits, without leading or trailing zeros, and the
// decimal exponent of the first: 0.00125 is "125" with exponent -3.
struct Decimal {
  bool negative = false;
  std::array<char, kSignificantDigits> digits;
  int count = 0;
  int exponent = 0;
};

// The powers of ten that are doubles exactly. Scaling by one of them is a
// single correctly rounded multiplication or division.
constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// `magnitude` times 10^shift, for |shift| up to kLargestShift.
double scaled_by_power_of_ten(double magnitude, int shift) {
  return shift >= 0 ? magnitude * kPowersOfTen[static_cast<std::size_t>(shift)]
                    : magnitude / kPowersOfTen[static_cast<std::size_t>(-shift)];
}

// The numbers whose six digits are found by scaling: those whose first
// digit's exponent, and the one after it, bring the sixth digit's place
// within 22 of the point.
constexpr int kLargestShift = 22;
constexpr int kSmallestScaledExponent = kSignificantDigits - 1 - kLargestShift;
constexpr int kLargestScaledExponent = kSignificantDigits - 1 + kLargestShift - 1;

// The six digits of `magnitude` rounded to nearest, as a number from
// 100000 to 999999, with the decimal exponent of the first: one
// multiplication or division by an exact power of ten brings them before
// the point. That one operation is correctly rounded, and so keeps the
// scaled value on the same side of every halfway point between two whole
// numbers as the exact value, or puts it on the point, which is a double
// itself: only there can the side not be told, and only exact digits tell.
// False there.
bool scale_to_six_digits(double magnitude, Decimal& decimal) {
  constexpr double kLog10Of2 = 0.30102999566398120;
  constexpr double kSixDigits = 1e5;
  constexpr double kSevenDigitsHalfway = 999999.5;
  constexpr int kMantissaBits = 52;
  constexpr std::uint64_t kExponentMask = 0x7ff;
  constexpr int kExponentBias = 1022;
  // magnitude lies in [2^(b-1), 2^b), a normal number's biased exponent less 1022.
  const int binary_exponent =
      static_cast<int>((std::bit_cast<std::uint64_t>(magnitude) >> kMantissaBits) & kExponentMask) - kExponentBias;
  // The first digit's exponent is this or one more.
  decimal.exponent = static_cast<int>(std::floor((binary_exponent - 1) * kLog10Of2));
  if (decimal.exponent < kSmallestScaledExponent || decimal.exponent > kLargestScaledExponent) {
    return false;
  }
  double scaled = scaled_by_power_of_ten(magnitude, kSignificantDigits - 1 - decimal.exponent);
  if (scaled > kSevenDigitsHalfway) {
    ++decimal.exponent;
    scaled = scaled_by_power_of_ten(magnitude, kSignificantDigits - 1 - decimal.exponent);
  }
  if (scaled - std::floor(scaled) == 0.5) {
    return false;
  }
  // Below the halfway point to seven digits, the rounding cannot carry
  // into a seventh; a first digit's exponent guessed wrong would show here.
  const auto six = static_cast<std::int32_t>(std::floor(scaled + 0.5));
  if (six < static_cast<std::int32_t>(kSixDigits) || six >= 10 * static_cast<std::int32_t>(kSixDigits)) {
    return false;
  }
  decimal.count = kSignificantDigits;
  std::to_chars(decimal.digits.data(), decimal.digits.data() + decimal.count, six);
  while (decimal.digits[static_cast<std::size_t>(decimal.count - 1)] == '0') {
    --decimal.count;
  }
  return true;
}

// %g's two forms, trailing zeros dropped: 123.45, 0.00012345, 1.2345e+06.
char* write_decimal(char* text, const Decimal& decimal) {
  if (decimal.negative) {
    *text++ = '-';
  }
  const auto digits = std::string_view(decimal.digits.data(), static_cast<std::size_t>(decimal.count));
  if (decimal.exponent < kSmallestFixedExponent || decimal.exponent >= kSignificantDigits) {
    *text++ = digits.front();
    if (digits.size() > 1) {
      *text++ = '.';
      text = std::copy(digits.begin() + 1, digits.end(), text);
    }
    *text++ = 'e';
    *text++ = decimal.exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(decimal.exponent);
    if (magnitude < 10) {
      *text++ = '0';
    }
    return std::to_chars(text, text + 3, magnitude).ptr;
  }
  if (decimal.exponent < 0) {
    *text++ = '0';
    *text++ = '.';
    text = std::fill_n(text, -decimal.exponent - 1, '0');
    return std::copy(digits.begin(), digits.end(), text);
  }
  const auto whole = static_cast<std::size_t>(decimal.exponent) + 1;
  if (digits.size() <= whole) {
    text = std::copy(digits.begin(), digits.end(), text);
    return std::fill_n(text, whole - digits.size(), '0');
  }
  text = std::copy(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(whole), text);
  *text++ = '.';
  return std::copy(digits.begin() + static_cast<std::ptrdiff_t>(whole), digits.end(), text);
}

}  // namespace

char* format_double(char* text, double number) {
  if (std::isnan(number)) {
    // 0/0 is the only NaN a calculation can give, and its sign bit is the
    // processor's choice (set on x86, clear on arm64 and s390x), which
    // the C library writes as "-nan" or "nan". It says nothing about the
    // calculation, so every platform writes the same.
    return std::copy(kNotANumberText.begin(), kNotANumberText.end(), text);
  }
  // A whole number of up to six digits is written by %g as it stands, which
  // integer conversion does at a fraction of the cost. (Zero keeps its sign
  // only through the general path.)
  if (number != 0.0 && std::abs(number) < kSevenDigits && number == std::trunc(number)) {
    return std::to_chars(text, text + kNumberTextSize, static_cast<std::int32_t>(number)).ptr;
  }
  // Most others by scaling in double arithmetic, at a fraction of the cost
  // of exact digits. (Subnormal numbers, whose exponent field says nothing
  // of their size, and the very large and small go the exact way.)
  if (const double magnitude = std::abs(number); std::isnormal(magnitude)) {
    Decimal decimal;
    decimal.negative = number < 0;
    if (scale_to_six_digits(magnitude, decimal)) {
      return write_decimal(text, decimal);
    }
  }
  return std::to_chars(text, text + kNumberTextSize, number, std::chars_format::general, kSignificantDigits).ptr;
}

}  // namespace calculator
