#pragma once

#include <iosfwd>

namespace calculator {

// Writes a number exactly as `out << number` does with the stream's default
// format (six significant digits, like printf's %g), byte for byte, without
// the stream's formatting machinery.
void write_double(std::ostream& out, double number);

}  // namespace calculator
