#pragma once

#include <iosfwd>

namespace calculator {

enum class DialogEnd {
  answered,          // a result line or an error line was written
  input_ended,       // no operator sign came before the end of the input
  input_incomplete,  // the input ended before both numbers were read
};

// Asks for an operator sign and two numbers on `out`, reads them from `in`
// and writes the calculation with its result, or an error line.
DialogEnd run_calculation_dialog(std::istream& in, std::ostream& out);

}  // namespace calculator
