#pragma once

#include <string_view>

// The terminal behind standard input and output, kept as the user had it
// whichever way the program ends or stops (POSIX only).
namespace streams::terminal {

// From now on a signal that ends the program (interrupt, quit, terminate,
// hangup) writes `leave` to standard output and puts standard input's
// terminal modes back as they are now, then ends the program as that signal
// does. Ctrl+Z does the same before the program stops; continued, it gets
// the modes it had when stopped and writes `resume`. A signal the program
// was started to ignore stays ignored. Called once; the texts are kept.
void guard(std::string_view leave, std::string_view resume);

// Puts standard input's terminal modes back as guard() found them; from
// then on a signal writes nothing: the program has put the rest back itself.
void release();

// What happened while the program waited: continued after Ctrl+Z (on a
// screen of its own that is empty again), or the terminal changed its size.
struct WakeUps {
  bool resumed = false;
  bool resized = false;
};

// A file that becomes readable when either happens: a wait polls it beside
// standard input, so that it learns of it however soon before the wait
// began. -1 before guard().
int wake_up_file();

// What happened since the last call; the file is quiet again after it.
WakeUps take_wake_ups();

}  // namespace streams::terminal
