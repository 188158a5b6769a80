#include <cstdlib>
#include <iostream>
#include <span>
#include <string_view>

#include "app/main_cycle.hpp"
#include "app/options.hpp"
#include "console/console.hpp"
#include "streams/standard_streams.hpp"
#include "streams/user_locale.hpp"

namespace {

// Beside the main cycle's 0 (input ended at the sign) and 1 (input ended
// inside a calculation): a failed read or write, or a command line the
// program does not understand.
constexpr int kStatusStreamFailed = 2;
constexpr int kStatusUsageError = 2;

constexpr std::string_view kUnknownArgumentHead = "taschenrechner: Unbekanntes Argument \"";
constexpr std::string_view kUnknownArgumentTail = "\"; Hilfe mit \"taschenrechner --help\".";

// Whoever runs the program on piped tasks learns from standard error, not
// only from the status, why it did not end cleanly.
constexpr std::string_view kInputIncompleteText = "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.";

int answer_command_line(const app::CommandLine& command_line) {
  if (command_line.request == app::Request::unknown_argument) {
    std::cerr << kUnknownArgumentHead << streams::to_program_charset(command_line.unknown) << kUnknownArgumentTail
              << '\n'
              << std::flush;
    return kStatusUsageError;
  }
  std::cout << (command_line.request == app::Request::help ? app::kHelpText : app::kVersionText);
  std::cout.flush();
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char* argv[]) {
  // argv[0] is the program's name, where the caller gave one at all.
  const std::span<char* const> arguments(argv, argc > 0 ? static_cast<std::size_t>(argc) : 0U);
  const app::CommandLine command_line = app::read_command_line(arguments.empty() ? arguments : arguments.subspan(1));
  streams::set_up_standard_streams();
  try {
    if (command_line.request != app::Request::calculate) {
      return answer_command_line(command_line);
    }
    int status = EXIT_SUCCESS;
    {
      const console::TerminalSession session(app::kConsoleTitle);
      status = app::run_main_cycle(std::cin, std::cout);
      console::restore_terminal();  // before anything is said on standard error
    }
    if (status == EXIT_FAILURE) {
      std::cerr << kInputIncompleteText << '\n' << std::flush;
    }
    return status;
  } catch (const std::ios_base::failure&) {
    // The session has given the terminal back on its way out.
    streams::report_stream_failure();
    return kStatusStreamFailed;
  }
}
