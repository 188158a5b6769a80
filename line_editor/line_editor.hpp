#pragma once

#include <optional>
#include <string>
#include <string_view>

// Lines typed at a terminal, read with editing and a history of the lines
// typed before, as a shell reads them. The platforms whose console does
// that itself have no line editor here.
namespace line_editor {

// Whether standard input is read through the line editor: only where both
// standard streams are a terminal that takes escape sequences.
bool edits_lines();

// Shows `prompt` (in the user's character set, on a line of its own so far)
// and returns the line the user typed after it, in the user's character
// set and with its line end; empty when the input ends (Ctrl+D on an empty
// line, or a terminal that hung up and gives no more keys), nothing when
// the terminal cannot be read (errno says why, and is never 0). Valid until
// the next call.
std::optional<std::string_view> read_edited_line(const std::string& prompt);

}  // namespace line_editor
