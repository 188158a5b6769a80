#include "line_editor/line_editor.hpp"

// The Windows console edits lines and keeps their history itself.
namespace terminal {

bool edits_lines() { return false; }

std::optional<std::string_view> read_edited_line(const std::string& /*prompt*/) { return std::string_view(); }

std::size_t take_keys_read_ahead(char* /*bytes*/, std::size_t /*room*/) { return 0; }

}  // namespace terminal
