// What a person sees: the bytes a terminal receives rendered by libvterm
// (MIT licence, Debian package libvterm-dev, the emulator neovim's tests
// use), as rows of text and the cursor.
#pragma once

#include <vterm.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace terminal_test {

// A screen as a person reads it: each row's text without its trailing
// blanks, and where the cursor stands.
struct Picture {
  std::vector<std::string> rows;
  int cursor_row = 0;
  int cursor_column = 0;
  bool operator==(const Picture&) const = default;
};

inline std::string utf8(std::uint32_t character) {
  std::string bytes;
  if (character < 0x80) {
    bytes.push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    bytes.push_back(static_cast<char>(0xc0 | (character >> 6)));
    bytes.push_back(static_cast<char>(0x80 | (character & 0x3f)));
  } else {
    bytes.push_back(static_cast<char>(0xe0 | (character >> 12)));
    bytes.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3f)));
    bytes.push_back(static_cast<char>(0x80 | (character & 0x3f)));
  }
  return bytes;
}

// For a test's message: the rows framed, the cursor as a block.
inline std::string framed(const Picture& picture) {
  std::string text;
  for (std::size_t row = 0; row < picture.rows.size(); ++row) {
    std::string line = picture.rows[row];
    if (static_cast<int>(row) == picture.cursor_row) {
      if (line.size() < static_cast<std::size_t>(picture.cursor_column) + 1) {
        line.resize(static_cast<std::size_t>(picture.cursor_column) + 1, ' ');
      }
      line.insert(static_cast<std::size_t>(picture.cursor_column), "\u2588");
    }
    text.append("|").append(line).append("\n");
  }
  return text;
}

// An xterm-like terminal of the given size with its alternate screen, as
// TERM=xterm describes it, in UTF-8 (ASCII reads the same).
class RenderedScreen {
 public:
  RenderedScreen(int rows, int columns) : terminal_(vterm_new(rows, columns)), rows_(rows), columns_(columns) {
    vterm_set_utf8(terminal_, 1);
    screen_ = vterm_obtain_screen(terminal_);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
  }
  ~RenderedScreen() { vterm_free(terminal_); }
  RenderedScreen(const RenderedScreen&) = delete;
  RenderedScreen& operator=(const RenderedScreen&) = delete;

  void feed(std::string_view bytes) {
    if (!bytes.empty()) vterm_input_write(terminal_, bytes.data(), bytes.size());
  }

  // As a window resized: the terminal's grid first, the program told after.
  void resize(int rows, int columns) {
    rows_ = rows;
    columns_ = columns;
    vterm_set_size(terminal_, rows, columns);
  }

  int rows() const { return rows_; }
  int columns() const { return columns_; }

  Picture picture() const {
    Picture picture;
    for (int row = 0; row < rows_; ++row) {
      std::string line;
      for (int column = 0; column < columns_; ++column) {
        VTermScreenCell cell{};
        vterm_screen_get_cell(screen_, {row, column}, &cell);
        line += cell.chars[0] == 0 ? std::string(" ") : utf8(cell.chars[0]);
      }
      line.erase(line.find_last_not_of(' ') + 1);
      picture.rows.push_back(line);
    }
    VTermPos cursor{};
    vterm_state_get_cursorpos(vterm_obtain_state(terminal_), &cursor);
    picture.cursor_row = cursor.row;
    picture.cursor_column = cursor.col;
    return picture;
  }

 private:
  VTerm* terminal_;
  VTermScreen* screen_ = nullptr;
  int rows_;
  int columns_;
};

}  // namespace terminal_test
