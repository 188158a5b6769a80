#pragma once

#include <span>
#include <string_view>

namespace app {

// What the command line asks for. Without arguments the program calculates;
// it has no options that change how, and takes no operands.
enum class Request { calculate, help, version, unknown_argument, extra_argument };

struct CommandLine {
  Request request = Request::calculate;
  std::string_view argument;  // the one not understood, or the one too many
};

// The arguments after the program's name, read as getopt_long reads them:
// an option may be abbreviated as long as it stays unambiguous, and "--"
// ends the options.
CommandLine read_command_line(std::span<char* const> arguments);

// The usage text for --help, in CP850 like all of the program's texts.
extern const std::string_view kHelpText;
// The program's name and version, its copyright, licence and warranty.
extern const std::string_view kVersionText;

}  // namespace app
