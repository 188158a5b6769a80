#pragma once

#include <cstddef>

// Which of the standard streams lead to a terminal (on Windows, to a
// console: a character device such as NUL is none). Asked of the system
// once, here alone: where the streams lead does not change while the
// program runs, and every part of it must see the same answer.
namespace terminal {

bool input_is_terminal();
bool output_is_terminal();
bool error_is_terminal();

// Whether the program may read, write and change its terminal now: once it
// is stopped and continued in the background (bg), it stops again, as any
// job that needs its terminal, and waits here until it is back in the
// foreground with the terminal its own. False where it never can be (a
// stop would not come), so that reads and writes there fail with EIO. True
// at once where there is no terminal to share (the Windows console).
bool wait_for_terminal();

// One call of `write` (a write(2) of the program's) to the terminal, once
// wait_for_terminal() says it may, with Ctrl+Z held back from that answer
// to the end of the write: a stop in between would let the write go on
// after `bg`, onto the shell's screen. -1 with EIO where it never may.
long write_to_terminal(long (*write)(int file, const char* bytes, std::size_t count), int file, const char* bytes,
                       std::size_t count);

// One read(2) of standard input's terminal, made once a key is there and
// the terminal is the program's: a read already waiting when the shell
// takes its terminal back without a stop (the job's leader killed) would
// take the shell's keys. -1 with EIO where the terminal never is the
// program's again.
long read_from_terminal(int file, char* bytes, std::size_t count);

}  // namespace terminal
