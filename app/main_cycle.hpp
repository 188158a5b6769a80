#pragma once

#include <iosfwd>
#include <string_view>

namespace app {

inline constexpr std::string_view kConsoleTitle = "Einfacher Taschenrechner";

// Runs one calculation after another until the input ends, and returns the
// program's exit status.
int run_main_cycle(std::istream& in, std::ostream& out);

}  // namespace app
