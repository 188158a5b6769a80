#pragma once

#include <span>
#include <string_view>

namespace app {

// What the command line asks for. Without arguments the program calculates;
// it has no options that change how.
enum class Request { calculate, help, version, unknown_argument };

struct CommandLine {
  Request request = Request::calculate;
  std::string_view unknown;  // the first argument not understood
};

CommandLine read_command_line(std::span<char* const> arguments);

// The usage text for --help, in CP850 like all of the program's texts.
extern const std::string_view kHelpText;
// The program's name and version, one line.
extern const std::string_view kVersionText;

}  // namespace app
