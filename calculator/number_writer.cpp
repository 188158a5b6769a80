#include "calculator/number_writer.hpp"

#include <charconv>
#include <cmath>
#include <ostream>

namespace calculator {
namespace {

// The stream's default: %g with six significant digits.
constexpr int kSignificantDigits = 6;
// "-1.23457e-308" is the longest such text.
constexpr int kLongestText = 16;

}  // namespace

void write_double(std::ostream& out, double number) {
  if (std::isnan(number)) {
    // Whether a NaN's sign shows differs between C libraries; the stream
    // writes what this platform's does.
    out << number;
    return;
  }
  char text[kLongestText];
  const auto written = std::to_chars(text, text + kLongestText, number, std::chars_format::general, kSignificantDigits);
  out.write(text, written.ptr - text);
}

}  // namespace calculator
