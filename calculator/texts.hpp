#pragma once

#include <ostream>
#include <string_view>

// The program's fixed texts. The console is expected to use code page 850,
// so the few letters beyond ASCII are CP850 bytes: \x84 is ä, \x94 is ö
// and \x81 is ü.
namespace calculator {

inline constexpr std::string_view kSignPrompt = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
inline constexpr std::string_view kFirstNumberPrompt = "Geb' die erste Zahl ein: ";
inline constexpr std::string_view kSecondNumberPrompt = "Geb' die zweite Zahl ein: ";

inline constexpr std::string_view kResultHead = "Das Ergebnis der Rechenaufgabe  ";
inline constexpr std::string_view kResultMiddle = "  ist: ";

inline constexpr std::string_view kInvalidSignText =
    "Fehler! Das Rechenzeichen ist ung"
    "\x81"
    "ltig!";
inline constexpr std::string_view kInvalidFirstNumberText =
    "Fehler! Die erste Zahl ist ung"
    "\x81"
    "ltig!";
inline constexpr std::string_view kInvalidSecondNumberText =
    "Fehler! Die zweite Zahl ist ung"
    "\x81"
    "ltig!";
inline constexpr std::string_view kIncompleteInputText =
    "Fehler! Die Eingabe ist unvollst"
    "\x84"
    "ndig!";

// Every line the program ends is ended this way. When it reaches the screen
// is the output stream's business: at once at a terminal, and before the
// program waits for input in any case.
inline void end_line(std::ostream& out) { out << '\n'; }

}  // namespace calculator
