#include "line_editor/line_editor.hpp"

// The Windows console edits lines and keeps their history itself.
namespace line_editor {

bool edits_lines() { return false; }

std::optional<std::string_view> read_edited_line(const std::string& /*prompt*/) { return std::string_view(); }

}  // namespace line_editor
