#pragma once

#include <string>
#include <string_view>

#include "terminal/terminal.hpp"

// What the terminal named by TERM can do, from the terminfo database
// (POSIX only; the Windows console has its own commands).
namespace screen {

// The sequences for a screen of the program's own (smcup and rmcup; both empty
// where the terminal has none, as the Linux console), for clearing the
// screen and for the cursor's way home, and for a window title where the
// user's can be given back at the end: a terminal that keeps xterm's title
// stack (its entry has XT) saves the user's; one with a status line (hs,
// tsl, fsl and dsl) takes the title there and is given its status line
// back; GNU screen (by name: its entry says nothing of it) takes xterm's
// title as its window's hardstatus, which is emptied again, as a window
// starts. Elsewhere (rxvt, the Linux console, ...) all four are empty: no
// title. The sequences are as the terminal is to get them: their
// parameters filled in and their padding read, not written.
struct Capabilities {
  std::string enter_own_screen;
  std::string leave_own_screen;
  std::string clear;
  std::string cursor_home;
  std::string save_title;
  std::string title_start;  // the title's text goes between
  std::string title_end;
  std::string give_title_back;
  bool has_title() const { return !title_start.empty(); }
};

// The terminal's capabilities; null where TERM is unset, "dumb", or not in
// the database: such a terminal gets no escape sequences at all. Looked up
// once, and only when asked (at a terminal).
const Capabilities* capabilities();

// Whether the terminal takes escape sequences: capabilities() is not null.
bool takes_escapes();

// What the user should see of the current pass, kept here alone: the text
// shown on the terminal since the screen was last cleared (prompts with
// their answers, the result or error line, the closing text and the pause's
// prompt), in the user's character set as written. The line being typed is
// the line editor's, which draws it after what is kept here. Bounded: the
// oldest lines of a pass beyond what any screen holds are dropped.

// Text written to the terminal's screen (no escape sequences).
void note_shown(std::string_view text);

// A line typed, as the line editor or the terminal's echo drew it: a
// control character in it (quoted in with lnext) as ^X, never as itself,
// which the terminal would take for a command.
void note_typed(std::string_view line);

// The screen was cleared: a new pass begins.
void note_cleared();

// At a wait (a prompt or the pause, what it shows written), after
// `happened` disturbed the screen: where the terminal can clear, the
// screen cleared and the pass written again whole, once, the cursor at its
// end; true. Elsewhere (no clearing, TERM=dumb or unknown) false, and after
// a stop of the program's own, whose continue finds the shell's lines
// below the pass, the line it waits at (a prompt, or the closing text and
// the pause's prompt) is written again there.
bool show_pass_again(terminal::WakeUps happened);

// Before a prompt is written: the pass written again, as above, only where
// the terminal can clear; elsewhere what comes next appears below the
// shell's lines anyway, and writing the last line again would show it twice.
bool show_pass_before_prompt(terminal::WakeUps happened);

}  // namespace screen
