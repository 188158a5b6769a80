#include "calculator/number_reader.hpp"

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <limits>
#include <optional>
#include <streambuf>
#include <system_error>

namespace calculator {
namespace {

using Traits = std::istream::traits_type;

// The points halfway between two neighbouring doubles, where rounding
// turns, have at most 767 significant decimal digits. Past that many, the
// digits of a number can only tell whether the rest is zero or not, and one
// nonzero digit in their place rounds the same way.
constexpr std::size_t kKeptDigits = 800;
// Exponents and digit counts stop growing here: far past any double's range,
// and more digits than any input could bring (10^17 bytes).
constexpr std::int64_t kSaturation = 100'000'000'000'000'000;

// A number as read so far: 0.<digits> x 10^(point_shift +- exponent).
struct ScannedNumber {
  bool negative = false;
  bool found_digit = false;  // before the exponent; a lone sign or point is no number
  bool found_point = false;
  bool found_exponent_mark = false;
  bool found_exponent_digit = false;
  bool negative_exponent = false;
  std::array<char, kKeptDigits> digits;  // from the first nonzero digit on
  std::size_t digit_count = 0;
  bool dropped_nonzero = false;  // a nonzero digit past those kept
  std::int64_t point_shift = 0;
  std::int64_t exponent = 0;
};

bool is_digit(Traits::int_type c) { return c >= '0' && c <= '9'; }

std::int64_t saturated(std::int64_t value) { return std::clamp(value, -kSaturation, kSaturation); }

void take_mantissa_digit(ScannedNumber& number, char digit) {
  number.found_digit = true;
  if (number.digit_count == 0 && digit == '0') {
    if (number.found_point) {
      number.point_shift = saturated(number.point_shift - 1);
    }
    return;
  }
  if (number.digit_count < kKeptDigits) {
    number.digits[number.digit_count++] = digit;
  } else if (digit != '0') {
    number.dropped_nonzero = true;
  }
  if (!number.found_point) {
    number.point_shift = saturated(number.point_shift + 1);
  }
}

// Takes the characters the classic locale's extraction of a double takes:
// an optional sign; digits with at most one point among them; after at
// least one digit, an `e` or `E` with an optional sign and digits. The first
// character that does not fit stays in the stream. Returns whether the
// input ended.
bool scan_number(std::streambuf& source, ScannedNumber& number) {
  auto c = source.sgetc();
  const auto at_end = [&c] { return Traits::eq_int_type(c, Traits::eof()); };
  if (c == '+' || c == '-') {
    number.negative = c == '-';
    c = source.snextc();
  }
  for (; !at_end(); c = source.snextc()) {
    if (is_digit(c)) {
      take_mantissa_digit(number, Traits::to_char_type(c));
    } else if (c == '.' && !number.found_point) {
      number.found_point = true;
    } else if ((c == 'e' || c == 'E') && number.found_digit) {
      break;
    } else {
      return false;
    }
  }
  if (at_end()) {
    return true;
  }
  number.found_exponent_mark = true;
  c = source.snextc();
  if (c == '+' || c == '-') {
    number.negative_exponent = c == '-';
    c = source.snextc();
  }
  for (; is_digit(c); c = source.snextc()) {
    number.found_exponent_digit = true;
    number.exponent = saturated(number.exponent * 10 + (c - '0'));
  }
  return at_end();
}

bool is_complete(const ScannedNumber& number) {
  return number.found_digit && (!number.found_exponent_mark || number.found_exponent_digit);
}

// Where the digits make an integer below 2^53 and the power of ten is
// itself a double (10^22 at most), one multiplication or division of the
// two is exact but for its one correct rounding: the value strtod gives.
// That holds only where each double operation is rounded once, as with
// SSE2, not where the x87 unit keeps wider intermediates.
std::optional<double> exactly_computed(const ScannedNumber& number) {
  constexpr std::size_t kExactDigits = 15;
  constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (FLT_EVAL_METHOD != 0 || number.digit_count > kExactDigits || number.dropped_nonzero) {
    return std::nullopt;
  }
  if (number.digit_count == 0) {
    return number.negative ? -0.0 : 0.0;
  }
  const std::int64_t exponent = number.point_shift + (number.negative_exponent ? -number.exponent : number.exponent) -
                                static_cast<std::int64_t>(number.digit_count);
  if (exponent < -22 || exponent > 22) {
    return std::nullopt;
  }
  std::int64_t digits = 0;
  for (std::size_t i = 0; i < number.digit_count; ++i) {
    digits = digits * 10 + (number.digits[i] - '0');
  }
  const double power = kPowersOfTen[static_cast<std::size_t>(exponent < 0 ? -exponent : exponent)];
  const double value = exponent < 0 ? static_cast<double>(digits) / power : static_cast<double>(digits) * power;
  return number.negative ? -value : value;
}

// The number as text for the C library: "-0.<digits>[1]e<exponent>", with
// room for a terminating NUL.
using NumberText = std::array<char, 1 + 2 + kKeptDigits + 1 + 1 + 24>;

std::size_t write_number_text(const ScannedNumber& number, NumberText& text) {
  char* next = text.data();
  if (number.negative) {
    *next++ = '-';
  }
  *next++ = '0';
  if (number.digit_count > 0) {
    *next++ = '.';
    next = std::copy_n(number.digits.begin(), number.digit_count, next);
    if (number.dropped_nonzero) {
      *next++ = '1';
    }
    *next++ = 'e';
    const std::int64_t exponent = number.negative_exponent ? -number.exponent : number.exponent;
    next = std::to_chars(next, text.data() + text.size() - 1, number.point_shift + exponent).ptr;
  }
  *next = '\0';
  return static_cast<std::size_t>(next - text.data());
}

// Runs `convert` with the arithmetic of the C++ runtime and the C library
// rounded to a double's 53 bits. On 32-bit x86 they are compiled for the
// x87 unit, whose default precision of 64 bits would round from_chars's
// product of a 16-digit number and a power of ten twice (7.441643554657258e+32
// one bit low); elsewhere there is nothing to set.
template <typename Convert>
auto rounded_once(Convert convert) {
#if defined(__i386__)
  constexpr unsigned short kPrecisionBits = 0x300;
  constexpr unsigned short kDoublePrecision = 0x200;
  unsigned short found = 0;
  asm volatile("fnstcw %0" : "=m"(found));
  const auto to_double = static_cast<unsigned short>((found & ~kPrecisionBits) | kDoublePrecision);
  asm volatile("fldcw %0" : : "m"(to_double));
  const auto result = convert();
  asm volatile("fldcw %0" : : "m"(found));
  return result;
#else
  return convert();
#endif
}

// What the standard extraction makes of the characters it took: strtod's
// value. from_chars gives the same correctly rounded value without the
// C library's cost; only where it reports the value out of its range
// (overflow, and possibly underflow) is strtod asked, for its exact answer.
double value_of(const ScannedNumber& number) {
  if (const std::optional<double> exact = exactly_computed(number)) {
    return *exact;
  }
  NumberText text;
  const std::size_t length = write_number_text(number, text);
  return rounded_once([&text, length] {
    double value = 0.0;
    const auto converted = std::from_chars(text.data(), text.data() + length, value);
    return converted.ec == std::errc() ? value : std::strtod(text.data(), nullptr);
  });
}

}  // namespace

std::istream& read_double(std::istream& in, double& number) {
  const std::istream::sentry ready(in);
  return ready ? read_double_after_white_space(in, number) : in;
}

std::istream& read_double_after_white_space(std::istream& in, double& number) {
  std::ios::iostate state = std::ios::goodbit;
  try {
    ScannedNumber scanned;
    if (scan_number(*in.rdbuf(), scanned)) {
      state |= std::ios::eofbit;
    }
    if (!is_complete(scanned)) {
      number = 0.0;
      state |= std::ios::failbit;
    } else {
      number = value_of(scanned);
      // Out of range is a failure, with the largest value of the sign.
      if (number == std::numeric_limits<double>::infinity() || number == -std::numeric_limits<double>::infinity()) {
        number = std::copysign(std::numeric_limits<double>::max(), number);
        state |= std::ios::failbit;
      }
    }
  } catch (...) {
    // As the standard extraction does: a failing source makes the stream
    // bad, and the failure goes on only if the stream is set to throw.
    in.setstate(std::ios::badbit);
  }
  in.setstate(state);
  return in;
}

}  // namespace calculator
