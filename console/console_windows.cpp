#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "terminal/streams.hpp"

namespace console {
namespace {

// Built-in commands of the command processor, for the user at the console.
constexpr const char* kPauseCommand = "pause";
constexpr const char* kClearScreenCommand = "CLS";

// The longest title a console keeps, in UTF-16 units, and room for its end.
constexpr DWORD kTitleRoom = 32768;
std::wstring title_found;
bool title_saved = false;

}  // namespace

// In UTF-16, so that any title comes back as it was; an empty one too,
// which the call reports as a length of 0 without an error.
TerminalSession::TerminalSession(std::string_view /*title*/) {
  title_found.assign(kTitleRoom, L'\0');
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetConsoleTitleW(title_found.data(), kTitleRoom);
  title_saved = length > 0 || GetLastError() == ERROR_SUCCESS;
  title_found.resize(std::min(length, kTitleRoom - 1));
}

TerminalSession::~TerminalSession() { restore_terminal(); }

// The program's title is ASCII, the same in UTF-16.
void set_title(std::string_view title) { SetConsoleTitleW(std::wstring(title.begin(), title.end()).c_str()); }

void restore_terminal() {
  if (title_saved) {
    title_saved = false;
    SetConsoleTitleW(title_found.c_str());
  }
}

// Tasks from a file or a pipe get the program's own prompt, as on every
// other platform: the command processor's is in the system's language,
// ends without a line end, and would cost a process started for each task.
void pause_for_key() {
  if (!terminal::input_is_terminal()) {
    std::cout << kPausePrompt << '\n';
    return;
  }
  std::cout.flush();
  std::system(kPauseCommand);
}

// Only a pause that waited for the user may be followed by clearing, and
// redirected output gets no form feed from CLS.
void clear_screen() {
  if (terminal::input_is_terminal() && terminal::output_is_terminal()) {
    std::system(kClearScreenCommand);
  }
}

}  // namespace console
