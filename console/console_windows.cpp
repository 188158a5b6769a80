#include <windows.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "console/console.hpp"

namespace console {
namespace {

// Built-in commands of the command processor.
constexpr const char* kPauseCommand = "pause";
// With input from a file or a pipe, pause would read its key from there and
// swallow what the calculator has not read yet; from NUL it returns at once.
constexpr const char* kPauseWithoutKeyboardCommand = "pause <NUL";
constexpr const char* kClearScreenCommand = "CLS";

char title_found[1024] = {};
bool title_saved = false;

bool is_console(DWORD standard_handle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standard_handle), &mode) != 0;
}

}  // namespace

TerminalSession::TerminalSession(std::string_view /*title*/) {
  title_saved = GetConsoleTitleA(title_found, sizeof title_found) > 0;
}

TerminalSession::~TerminalSession() { restore_terminal(); }

void set_title(std::string_view title) { SetConsoleTitleA(std::string(title).c_str()); }

void restore_terminal() {
  if (title_saved) {
    title_saved = false;
    SetConsoleTitleA(title_found);
  }
}

void pause_for_key() {
  std::cout.flush();
  std::system(is_console(STD_INPUT_HANDLE) ? kPauseCommand : kPauseWithoutKeyboardCommand);
}

// Only a pause that waited for the user may be followed by clearing, and
// redirected output gets no form feed from CLS.
void clear_screen() {
  if (is_console(STD_INPUT_HANDLE) && is_console(STD_OUTPUT_HANDLE)) {
    std::system(kClearScreenCommand);
  }
}

}  // namespace console
