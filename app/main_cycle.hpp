#pragma once

#include <iosfwd>

namespace app {

// Runs one calculation after another until the input ends, and returns the
// program's exit status.
int run_main_cycle(std::istream& in, std::ostream& out);

}  // namespace app
