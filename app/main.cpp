#include <cstdlib>
#include <iostream>
#include <string_view>

#include "app/main_cycle.hpp"
#include "console/console.hpp"
#include "streams/standard_streams.hpp"

namespace {

// Beside the main cycle's 0 (input ended at the sign) and 1 (input ended
// inside a calculation).
constexpr int kStatusStreamFailed = 2;

// Whoever runs the program on piped tasks learns from standard error, not
// only from the status, why it did not end cleanly.
constexpr std::string_view kInputIncompleteText = "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.";

}  // namespace

int main() {
  streams::set_up_standard_streams();
  try {
    const int status = app::run_main_cycle(std::cin, std::cout);
    std::cout.flush();
    if (status == EXIT_FAILURE) {
      std::cerr << kInputIncompleteText << '\n' << std::flush;
    }
    return status;
  } catch (const std::ios_base::failure&) {
    // After a failed read the terminal may still take its title back.
    try {
      console::restore_title();
      std::cout.flush();
    } catch (const std::ios_base::failure&) {
    }
    streams::report_stream_failure();
    return kStatusStreamFailed;
  }
}
