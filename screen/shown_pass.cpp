#include <cstddef>
#include <string>
#include <string_view>

#include "screen/screen.hpp"
#include "terminal/streams.hpp"
#include "terminal/terminal.hpp"

namespace screen {
namespace {

// A pass is a few lines, each answer at most as long as a line typed may be
// (4095 characters, some bytes each): the bound keeps far more than a
// screen shows, and a pass that grows without end (answers given one after
// the other on a line of their own, each wrong) costs no more.
constexpr std::size_t kPassBytes = std::size_t{1} << 16;

std::string pass;

bool disturbed(terminal::WakeUps happened) { return happened.resumed || happened.continued || happened.resized; }

bool can_clear() {
  const Capabilities* terminal = capabilities();
  return terminal != nullptr && !terminal->clear.empty() && terminal::output_is_terminal();
}

// The cursor is wherever the shell or the terminal left it: the clearing
// takes it home, and the pass is written from there, as it was first.
bool write_pass_whole() {
  std::string again = capabilities()->clear;
  again.append(pass);
  // One that cannot be written: the program's next write says why.
  static_cast<void>(terminal::write_to_screen(again));
  return true;
}

}  // namespace

void note_shown(std::string_view text) {
  pass.append(text);
  if (pass.size() > kPassBytes) {
    const std::size_t cut = pass.find('\n', pass.size() - kPassBytes);
    pass.erase(0, cut == std::string::npos ? pass.size() - kPassBytes : cut + 1);
  }
}

void note_typed(std::string_view line) {
  std::string drawn;
  for (const char byte : line) {
    const auto code = static_cast<unsigned char>(byte);
    if (byte == '\n' || (code >= 0x20 && code != 0x7f)) {
      drawn.push_back(byte);
    } else {
      drawn.push_back('^');
      drawn.push_back(static_cast<char>(code ^ 0x40));
    }
  }
  note_shown(drawn);
}

void note_cleared() { pass.clear(); }

bool show_pass_again(terminal::WakeUps happened) {
  if (!disturbed(happened)) {
    return false;
  }
  if (can_clear()) {
    return write_pass_whole();
  }
  if (happened.resumed && terminal::output_is_terminal()) {
    const std::string_view last_line = std::string_view(pass).substr(pass.rfind('\n') + 1);  // all without one
    static_cast<void>(terminal::write_to_screen(last_line));
  }
  return false;
}

bool show_pass_before_prompt(terminal::WakeUps happened) {
  return disturbed(happened) && can_clear() && write_pass_whole();
}

}  // namespace screen
