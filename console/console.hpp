#pragma once

#include <string_view>

// What the main cycle needs of the console it runs in. Each platform has its
// own implementation file; none of them is seen from here.
namespace console {

// Lets the program's CP850 texts reach a console that uses another
// character set, and lets that console's input reach the program as CP850.
void adapt_streams_to_console_charset();

void set_title(std::string_view title);

// Gives the console back the title it had before the first set_title.
void restore_title();

// Writes a prompt after whatever is on the current line and waits for one
// key press, which no later read sees.
void pause_for_key();

// Empties the console and puts the cursor at the top.
void clear_screen();

}  // namespace console
