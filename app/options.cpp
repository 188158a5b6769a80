#include "app/options.hpp"

#include <getopt.h>

#include <string>
#include <vector>

namespace app {

namespace {

constexpr int kHelpOption = 'h';
constexpr int kVersionOption = 'v';

const struct option kLongOptions[] = {
    {"help", no_argument, nullptr, kHelpOption},
    {"version", no_argument, nullptr, kVersionOption},
    {nullptr, 0, nullptr, 0},
};

// No short options; "+": the first operand ends the options, as POSIX has
// it, rather than being moved behind them.
constexpr const char* kShortOptions = "+";

// What getopt_long reads in place of `argument`.
char* as_getopt_reads_it(char* argument) {
#ifdef _WIN32
  // Windows' own programs answer /? with their help.
  static char help[] = "--help";
  if (std::string_view(argument) == "/?") return help;
#endif
  return argument;
}

}  // namespace

CommandLine read_command_line(std::span<char* const> arguments) {
  // getopt_long wants the program's name first, and may reorder what it is
  // given; it gets a copy.
  static char name[] = "taschenrechner";
  std::vector<char*> argv{name};
  for (char* argument : arguments) argv.push_back(as_getopt_reads_it(argument));
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size() - 1);
  // The argument behind index `i` of argv, as the user wrote it.
  const auto as_given = [&](int i) { return std::string_view(arguments[static_cast<std::size_t>(i - 1)]); };

  CommandLine command_line;
  opterr = 0;  // the program says what is wrong, in German
  optind = 0;  // from the start, whatever an earlier call left
  for (;;) {
    // The argument about to be read: where one is refused, that is the one
    // to name (with no short options, nothing is read in the middle of one).
    const int reading = optind == 0 ? 1 : optind;
    const int option = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
    if (option == -1) break;
    if (option != kHelpOption && option != kVersionOption) return {Request::unknown_argument, as_given(reading)};
    // One option, and nothing beside it: the program would have to guess
    // which was meant.
    if (command_line.request != Request::calculate) return {Request::extra_argument, as_given(reading)};
    command_line.request = option == kHelpOption ? Request::help : Request::version;
  }
  if (optind < argc) return {Request::extra_argument, as_given(optind)};
  return command_line;
}

const std::string_view kHelpText =
    "Aufruf: taschenrechner [--help | --version]\n"
    "\n"
    "Ein Taschenrechner f"
    "\x81"
    "r die vier Grundrechenarten. In jedem Durchgang fragt er\n"
    "nach einem Rechenzeichen (+, -, * oder /) und zwei Zahlen, schreibt die\n"
    "Rechenaufgabe mit ihrem Ergebnis oder eine Fehlermeldung, wartet auf eine\n"
    "Taste, l"
    "\x94"
    "scht den Bildschirm und beginnt von vorn. Mehrere Eingaben d"
    "\x81"
    "rfen\n"
    "in einer Zeile stehen, und Aufgaben k"
    "\x94"
    "nnen auch aus einer Datei oder einer\n"
    "Pipe kommen:\n"
    "\n"
    "  printf '+ 1 2\\n' | taschenrechner\n"
    "\n"
    "Beenden: Strg+D am Anfang einer Eingabe (unter Windows Strg+Z, dann Enter).\n"
    "\n"
    "Optionen:\n"
    "  --help     diese Hilfe zeigen\n"
#ifdef _WIN32
    "  /?         diese Hilfe zeigen\n"
#endif
    "  --version  Version, Copyright und Lizenz zeigen\n"
    "Optionen d"
    "\x81"
    "rfen abgek"
    "\x81"
    "rzt werden, solange sie eindeutig sind (--he).\n"
    "\n"
    "R"
    "\x81"
    "ckgabewert:\n"
    "  0      die Eingabe endete vor einem Rechenzeichen\n"
    "  1      die Eingabe endete mitten in einer Rechenaufgabe\n"
    "  2      Ein- oder Ausgabe fehlgeschlagen, oder ein unbekanntes oder\n"
    "         "
    "\x81"
    "berz"
    "\x84"
    "hliges Argument\n"
#ifndef _WIN32
    "  128+n  durch das Signal n beendet (130: Strg+C)\n"
#endif
    "\n"
    "Fehler melden an: <" TASCHENRECHNER_BUG_ADDRESS ">\n";

const std::string_view kVersionText = "taschenrechner " TASCHENRECHNER_VERSION
                                      "\n"
                                      "Copyright (C) 2026 The taschenrechner developers\n"
                                      "Lizenz: MIT <https://opensource.org/licenses/MIT>\n"
                                      "Dies ist freie Software: Sie d"
                                      "\x81"
                                      "rfen sie ver"
                                      "\x84"
                                      "ndern und weitergeben.\n"
                                      "Es gibt KEINE GARANTIE, soweit gesetzlich zul"
                                      "\x84"
                                      "ssig.\n";

}  // namespace app
