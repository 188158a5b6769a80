#pragma once

#include <string_view>

// What the main cycle needs of the console it runs in. Each platform has its
// own implementation file; none of them is seen from here.
namespace console {

void set_title(std::string_view title);

// Gives the console back what it had before the first set_title: its
// title and, at a terminal, the user's screen.
void restore_terminal();

// Writes a prompt after whatever is on the current line and waits for one
// key press, which no later read sees.
void pause_for_key();

// Empties the console and puts the cursor at the top.
void clear_screen();

}  // namespace console
