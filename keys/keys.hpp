#pragma once

#include <string>

#include "terminal/terminal.hpp"

// The one reader of keys from standard input's terminal, for the pause and
// the line editor (POSIX only).
namespace terminal {

// One whole key from standard input, however many bytes it sends: a
// character (all its bytes where the user's keys send UTF-8), a CSI or SS3
// sequence, or Alt with a character, ASCII or not; a lone Escape is known
// by the silence after it. Bytes already there are read a block at a time;
// those beyond the key stay for the next key, or for the next line read
// (take_keys_read_ahead). Empty where the input ends (errno 0) or cannot be
// read (errno says why). Should the program be continued after Ctrl+Z, or
// the terminal change its size, while it waits (or just before), `woken`
// is told, so that it can show its prompt again; then the wait goes on.
std::string read_key(WokenUp woken);

}  // namespace terminal
