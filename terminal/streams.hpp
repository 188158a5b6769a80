#pragma once

// Which of the standard streams lead to a terminal (on Windows, to a
// console: a character device such as NUL is none). Asked of the system
// once, here alone: where the streams lead does not change while the
// program runs, and every part of it must see the same answer.
namespace terminal {

bool input_is_terminal();
bool output_is_terminal();
bool error_is_terminal();

}  // namespace terminal
