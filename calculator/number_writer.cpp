#include "calculator/number_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

namespace calculator {
namespace {

// The stream's default: %g with six significant digits.
constexpr int kSignificantDigits = 6;
constexpr double kSevenDigits = 1e6;

}  // namespace

char* format_double(char* text, double number) {
  if (std::isnan(number)) {
    // Whether a NaN's sign shows differs between C libraries; the stream
    // writes what this platform's does.
    std::ostringstream stream;
    stream << number;
    const std::string written = stream.str();
    return std::copy_n(written.begin(), std::min(written.size(), kNumberTextSize), text);
  }
  // A whole number of up to six digits is written by %g as it stands, which
  // integer conversion does at a fraction of the cost. (Zero keeps its sign
  // only through the general path.)
  if (number != 0.0 && std::abs(number) < kSevenDigits && number == std::trunc(number)) {
    return std::to_chars(text, text + kNumberTextSize, static_cast<std::int32_t>(number)).ptr;
  }
  return std::to_chars(text, text + kNumberTextSize, number, std::chars_format::general, kSignificantDigits).ptr;
}

}  // namespace calculator
