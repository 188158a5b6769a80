#pragma once

#include <string_view>

// The terminal behind standard input and output, kept as the user had it
// whichever way the program ends or stops (POSIX only).
namespace terminal {

// Waits, stopped as any job that needs its terminal, until the program is
// in the terminal's foreground. False where no stop would come (SIGTTIN
// ignored or blocked, or a process group the kernel takes for orphaned,
// whose stops it discards): then the terminal is never the program's, and
// its reads and writes fail with EIO, as the kernel's do from there.
bool wait_for_foreground();

// From now on every signal whose default ends the program (interrupt, quit,
// terminate, hangup, the faults of a crash, SIGABRT, the user and timer
// signals, the real-time signals ...) puts standard input's terminal modes
// back as they are now and writes `leave` to standard output, then ends the
// program as that signal does. Ctrl+Z does the same before the program
// stops (and nothing where no stop can come); continued in the foreground,
// the program gets its modes back and writes `resume`, and continued in the
// background (`bg`) it leaves the terminal alone, stopping as any job if it
// reads, writes or changes it, until it is continued in the foreground
// (`fg`). After a SIGSTOP, which no handler sees, the program's screen
// stays up: `fg` gives the terminal back to it without `resume`, and an end
// in the background writes `leave` (and puts the modes back where they are
// still the program's). Either continue is told to the waits (WakeUps), so
// that they show what they showed again. A signal the program was started
// to ignore stays ignored. Called once, in the foreground; `start` is
// written at once, the other texts are kept.
void guard(std::string_view start, std::string_view leave, std::string_view resume);

// Writes bytes for the screen to standard output as they stand, a
// sequence of the terminal's own byte for byte (some have bytes beyond
// ASCII, which are no letters of ours to convert), or what the line editor
// draws; each write once the terminal is the program's, in the foreground.
// False (errno says why) where they cannot be written.
bool write_to_screen(std::string_view bytes);

// Puts standard input's terminal modes back as guard() found them, then
// writes `leave` (with write(2), whatever became of the output stream), once;
// from then on a signal leaves the terminal alone.
void give_back();

// Standard input's terminal without line mode and echo, a key at a time,
// as the pause and the line editor read it; the modes before are kept for
// leave_key_mode. False where standard input is no terminal, or one that
// is never the program's.
bool enter_key_mode();

// Back to the modes enter_key_mode found.
void leave_key_mode();

// A pseudo-terminal standing in for standard input's terminal, for the line
// editor's library, which switches terminal modes around every line it
// reads: it switches the stand-in's, and the modes of the user's terminal
// stay this module's alone. The stand-in starts with the terminal's modes
// and keeps its size. Opened at the first call; -1 if none can be.
int stand_in_terminal();

// The user's own editing characters (stty erase, werase, kill, lnext,
// rprnt, eof), as the terminal had them when the program last took it, so
// that an stty made while the program was stopped counts from `fg` on; 0
// for one switched off.
struct EditingCharacters {
  unsigned char erase = 0;
  unsigned char word_erase = 0;
  unsigned char kill = 0;
  unsigned char literal_next = 0;
  unsigned char reprint = 0;
  unsigned char end_of_file = 0;
  bool operator==(const EditingCharacters&) const = default;
};
EditingCharacters users_editing_characters();

// What happened to the screen since it was last asked: the program was
// continued after a stop of its own (Ctrl+Z: on a screen of its own that is
// empty again, or below the shell's lines), continued where it had left
// its screen (a SIGSTOP, or a continue with no stop: whatever the shell
// wrote meanwhile may be on it), or the terminal changed its size (after
// either continue too: a stopped job is told of no resize).
struct WakeUps {
  bool resumed = false;
  bool continued = false;
  bool resized = false;
};

using WokenUp = void (*)(WakeUps);

// What happened since the last call; the stand-in terminal gets the new size.
WakeUps take_wake_ups();

}  // namespace terminal
