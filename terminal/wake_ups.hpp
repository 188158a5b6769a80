#pragma once

#include "terminal/terminal.hpp"

// What the signal handlers (terminal/terminal_posix.cpp) leave for the key
// reader (keys/keys_posix.cpp) while it waits: for the two of them alone.
namespace terminal {

// A pipe's end that is readable once a stop was continued or the terminal
// changed its size, to poll beside standard input; -1 where there is none.
int wake_up_descriptor();

// Whether anything happened since the last take_wake_ups, known without a
// system call, for keys taken from what was read before.
bool woken_up_since_taken();

// Whether the terminal is the program's, as far as known without a system
// call (a stop or a continue to the background has made it the shell's).
bool program_holds_terminal();

}  // namespace terminal
