#pragma once

#include <ostream>
#include <string_view>

// The program's fixed texts. The console is expected to use code page 850,
// so the few letters beyond ASCII are single CP850 bytes written between
// the ASCII pieces of their texts.
namespace calculator {

inline constexpr char kLetterSmallAUmlaut = '\x84';  // ä
inline constexpr char kLetterSmallOUmlaut = '\x94';  // ö
inline constexpr char kLetterSmallUUmlaut = '\x81';  // ü

inline constexpr std::string_view kSignPrompt = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
inline constexpr std::string_view kFirstNumberPrompt = "Geb' die erste Zahl ein: ";
inline constexpr std::string_view kSecondNumberPrompt = "Geb' die zweite Zahl ein: ";

inline constexpr std::string_view kResultHead = "Das Ergebnis der Rechenaufgabe  ";
inline constexpr std::string_view kResultMiddle = "  ist: ";

// "Fehler! ... ungültig!" and "Fehler! Die Eingabe ist unvollständig!"
inline constexpr std::string_view kInvalidSignHead = "Fehler! Das Rechenzeichen ist ung";
inline constexpr std::string_view kInvalidFirstNumberHead = "Fehler! Die erste Zahl ist ung";
inline constexpr std::string_view kInvalidSecondNumberHead = "Fehler! Die zweite Zahl ist ung";
inline constexpr std::string_view kInvalidTail = "ltig!";
inline constexpr std::string_view kIncompleteHead = "Fehler! Die Eingabe ist unvollst";
inline constexpr std::string_view kIncompleteTail = "ndig!";

// Every line the program ends is ended this way. When it reaches the screen
// is the output stream's business: at once at a terminal, and before the
// program waits for input in any case.
inline void end_line(std::ostream& out) { out << '\n'; }

}  // namespace calculator
