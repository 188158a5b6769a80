#pragma once

#include <ios>
#include <ostream>
#include <streambuf>
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

// Text goes to the stream's buffer as it stands: the program never sets a
// field width or a format, so the stream's own insertion would add only its
// cost. The rest is as there: nothing is written once the stream has
// failed, a buffer that takes less than all of it fails the stream, and a
// buffer that throws (the program's own do) marks the stream bad, and the
// failure goes on.
inline void write_text(std::ostream& out, std::string_view text) {
  if (!out.good()) {
    return;
  }
  const auto size = static_cast<std::streamsize>(text.size());
  try {
    if (out.rdbuf()->sputn(text.data(), size) == size) {
      return;
    }
  } catch (...) {
    out.setstate(std::ios::badbit);  // which throws where the stream is set to
    throw;
  }
  out.setstate(std::ios::badbit);
}

// Every line the program ends is ended this way. When it reaches the screen
// is the output stream's business: at once at a terminal, and before the
// program waits for input in any case.
inline void end_line(std::ostream& out) {
  using Traits = std::ostream::traits_type;
  if (!out.good()) {
    return;
  }
  try {
    if (!Traits::eq_int_type(out.rdbuf()->sputc('\n'), Traits::eof())) {
      return;
    }
  } catch (...) {
    out.setstate(std::ios::badbit);  // which throws where the stream is set to
    throw;
  }
  out.setstate(std::ios::badbit);
}

}  // namespace calculator
