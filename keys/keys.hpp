#pragma once

#include <cstddef>
#include <string>

#include "terminal/terminal.hpp"

// The one reader of keys from standard input's terminal, for the pause and
// the line editor (POSIX only), and of the bytes typed ahead of a line.
namespace keys {

// One whole key from standard input, however many bytes it sends: a
// character (all its bytes where the user's keys send UTF-8), a CSI or SS3
// sequence, or Alt with a character, ASCII or not; a lone Escape is known
// by the silence after it. Bytes already there are read a block at a time;
// those beyond the key stay for the next key, or for the next line read
// (read_line). Empty where the input ends (errno 0) or cannot be
// read (errno says why). Should the program be continued after Ctrl+Z, or
// the terminal change its size, while it waits (or just before), `woken`
// is told, so that it can show its prompt again; then the wait goes on.
std::string read_key(terminal::WokenUp woken);

// Where lines are not edited: what one read of the terminal's own line
// mode gives (a line, or what Ctrl+D hands on), after the bytes typed
// after a key the pause took, read with it and not yet taken (at most
// `room` bytes). 0 where the input ends, -1 where it cannot be read (errno says
// why). What happens while it waits is told to `woken`, as for a key.
long read_line(char* bytes, std::size_t room, terminal::WokenUp woken);

}  // namespace keys
