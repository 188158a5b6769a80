#include <cstdlib>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_cycle.hpp"
#include "app/options.hpp"
#include "charset/user_locale.hpp"
#include "console/console.hpp"
#include "io/standard_streams.hpp"

namespace {

// Beside the main cycle's 0 (input ended at the sign) and 1 (input ended
// inside a calculation): a failed read or write, or a command line the
// program does not understand.
constexpr int kStatusStreamFailed = 2;
constexpr int kStatusUsageError = 2;

constexpr std::string_view kUnknownArgumentHead = "taschenrechner: Unbekanntes Argument \"";
// An operand, or an option beside another: the program takes neither.
constexpr std::string_view kExtraArgumentHead =
    "taschenrechner: "
    "\x9a"
    "berz"
    "\x84"
    "hliges Argument \"";
constexpr std::string_view kArgumentTail = "\"; Hilfe mit \"taschenrechner --help\".";

// Whoever runs the program on piped tasks learns from standard error, not
// only from the status, why it did not end cleanly.
constexpr std::string_view kInputIncompleteText = "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.";

int answer_command_line(const app::CommandLine& command_line) {
  if (command_line.request == app::Request::unknown_argument || command_line.request == app::Request::extra_argument) {
    std::cerr << (command_line.request == app::Request::unknown_argument ? kUnknownArgumentHead : kExtraArgumentHead)
              << charset::to_program_charset(command_line.argument) << kArgumentTail << '\n'
              << std::flush;
    return kStatusUsageError;
  }
  std::cout << (command_line.request == app::Request::help ? app::kHelpText : app::kVersionText);
  std::cout.flush();
  return EXIT_SUCCESS;
}

// A line on standard error that could not be written leaves its mark in
// the status instead; a status that tells of a failure already stays.
int with_error_output_checked(int status) {
  return io::error_output_failed() && status < kStatusStreamFailed ? kStatusStreamFailed : status;
}

// `arguments` as main gets them, the program's name first where the caller
// gave one at all.
int run(std::span<char* const> arguments) {
  const app::CommandLine command_line = app::read_command_line(arguments.empty() ? arguments : arguments.subspan(1));
  io::set_up_standard_streams();
  try {
    if (command_line.request != app::Request::calculate) {
      return with_error_output_checked(answer_command_line(command_line));
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
    return with_error_output_checked(status);
  } catch (const std::ios_base::failure&) {
    // The session has given the terminal back on its way out.
    io::report_stream_failure();
    return kStatusStreamFailed;
  }
}

}  // namespace

#ifdef _WIN32
// Windows hands the arguments over in UTF-16, as the user typed them; the
// program takes them in its CP850.
int wmain(int argc, wchar_t* argv[]) {
  std::vector<std::string> texts;
  for (int i = 0; i < argc; ++i) {
    texts.push_back(charset::to_program_charset(std::wstring_view(argv[i])));
  }
  std::vector<char*> arguments;
  for (std::string& text : texts) {
    arguments.push_back(text.data());
  }
  return run(arguments);
}
#else
int main(int argc, char* argv[]) { return run({argv, argc > 0 ? static_cast<std::size_t>(argc) : 0U}); }
#endif
