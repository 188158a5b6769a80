#pragma once

#include <string>

// What the terminal named by TERM can do, from the terminfo database
// (POSIX only; the Windows console has its own commands).
namespace screen {

// The sequences for a screen of the program's own (smcup and rmcup; both empty
// where the terminal has none, as the Linux console), for clearing the
// screen and for the cursor's way home, and whether it has a window title
// (xterm's XT, a status line, or GNU screen, tmux or rxvt by name). The
// sequences are as the terminal is to get them: their padding read, not
// written.
struct Capabilities {
  std::string enter_own_screen;
  std::string leave_own_screen;
  std::string clear;
  std::string cursor_home;
  bool has_title = false;
};

// The terminal's capabilities; null where TERM is unset, "dumb", or not in
// the database: such a terminal gets no escape sequences at all. Looked up
// once, and only when asked (at a terminal).
const Capabilities* capabilities();

// Whether the terminal takes escape sequences: capabilities() is not null.
bool takes_escapes();

}  // namespace screen
