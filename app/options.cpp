#include "app/options.hpp"

namespace app {

namespace {

bool asks_for_help(std::string_view argument) {
#ifdef _WIN32
  // Windows' own programs answer /? with their help.
  if (argument == "/?") return true;
#endif
  return argument == "--help";
}

}  // namespace

CommandLine read_command_line(std::span<char* const> arguments) {
  if (arguments.empty()) return {};
  const std::string_view first = arguments.front();
  // An option together with anything else is as much a mistake as an
  // unknown one: the program would have to guess which was meant.
  if (arguments.size() == 1 && asks_for_help(first)) return {Request::help, {}};
  if (arguments.size() == 1 && first == "--version") return {Request::version, {}};
  const bool first_understood = asks_for_help(first) || first == "--version";
  return {Request::unknown_argument, first_understood ? std::string_view(arguments[1]) : first};
}

const std::string_view kHelpText =
    "Aufruf: taschenrechner [--help | --version]\n"
    "\n"
    "Ein Taschenrechner f"
    "\x81"
    "r die vier Grundrechenarten. In jedem Durchgang fragt er nach\n"
    "einem Rechenzeichen (+, -, * oder /) und zwei Zahlen, schreibt die Rechenaufgabe\n"
    "mit ihrem Ergebnis oder eine Fehlermeldung, wartet auf eine Taste, l"
    "\x94"
    "scht den\n"
    "Bildschirm und beginnt von vorn. Mehrere Eingaben d"
    "\x81"
    "rfen in einer Zeile stehen,\n"
    "und Aufgaben k"
    "\x94"
    "nnen auch aus einer Datei oder einer Pipe kommen:\n"
    "\n"
    "  printf '+ 1 2\\n' | taschenrechner\n"
    "\n"
    "Beenden: Strg+D am Anfang einer Eingabe (unter Windows Strg+Z, dann Enter).\n"
    "\n"
    "Optionen:\n"
    "  --help     diese Hilfe zeigen\n"
    "  --version  Name und Version zeigen\n"
    "\n"
    "R"
    "\x81"
    "ckgabewert:\n"
    "  0  die Eingabe endete vor einem Rechenzeichen\n"
    "  1  die Eingabe endete mitten in einer Rechenaufgabe\n"
    "  2  Ein- oder Ausgabe fehlgeschlagen, oder ein unbekanntes Argument\n";

const std::string_view kVersionText = "taschenrechner " TASCHENRECHNER_VERSION "\n";

}  // namespace app
