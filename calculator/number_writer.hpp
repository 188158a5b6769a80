#pragma once

#include <cstddef>

namespace calculator {

// Room for the text of any double, "-1.23457e-308" the longest.
inline constexpr std::size_t kNumberTextSize = 16;

// Writes a number into `text` exactly as `out << number` does with the stream's default
// format (six significant digits, like printf's %g), byte for byte, without
// the stream's formatting machinery. `text` has room for kNumberTextSize
// characters; returns the end of those written.
char* format_double(char* text, double number);

}  // namespace calculator
