#pragma once

#include <string_view>

// What the main cycle needs of the console it runs in. Each platform has its
// own implementation file; none of them is seen from here.
namespace console {

// The prompt of a pause the program makes itself, followed by a line end
// where no key is waited for. ü as CP850, like every text of ours.
inline constexpr std::string_view kPausePrompt =
    "Dr"
    "\x81"
    "cken Sie eine beliebige Taste . . . ";

// From construction to destruction the program's session at the console:
// its title saved and, at a terminal, a screen of its own and the guard
// that gives the terminal back on every way out, signals and crashes
// included. Destroyed, it gives the console back what it had, if
// restore_terminal has not done so.
struct TerminalSession {
  explicit TerminalSession(std::string_view title);
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;
};

void set_title(std::string_view title);

// Gives the console back what it had before the session: its title and, at
// a terminal, its modes and the user's screen. Output still held is written
// first; a failure to write it is thrown, after the terminal is given back.
void restore_terminal();

// Writes a prompt after whatever is on the current line and waits for one
// key press, which no later read sees. With input from a file or a pipe
// nobody presses a key: the prompt is written, with a line end.
void pause_for_key();

// Empties the console and puts the cursor at the top.
void clear_screen();

}  // namespace console
