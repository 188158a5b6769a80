#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/loaded_library.hpp"
#include "terminal/screen.hpp"

namespace terminal {
namespace {

// The terminfo library (ncurses' libtinfo, which libedit needs as well) is
// loaded only at a terminal, so that piped runs start as fast as before.
struct Terminfo {
  int (*setupterm)(const char*, int, int*) = nullptr;
  char* (*tigetstr)(const char*) = nullptr;
  int (*tigetflag)(const char*) = nullptr;
};

std::optional<Terminfo> load_terminfo() {
  Terminfo terminfo;
  void* library = dlopen("libtinfo.so.6", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || !find_function(library, "setupterm", terminfo.setupterm) ||
      !find_function(library, "tigetstr", terminfo.tigetstr) ||
      !find_function(library, "tigetflag", terminfo.tigetflag)) {
    return std::nullopt;
  }
  return terminfo;
}

// A string capability; empty where the entry has none.
std::string capability(const Terminfo& terminfo, const char* name) {
  const char* value = terminfo.tigetstr(name);
  // -1 for a name that is no string capability.
  const auto* not_a_string = reinterpret_cast<const char*>(-1);  // NOLINT(performance-no-int-to-ptr)
  return value == nullptr || value == not_a_string ? std::string() : std::string(value);
}

// GNU screen, tmux and rxvt take xterm's sequence for the window title,
// though their entries do not say so.
constexpr std::string_view kTitleFamilies[] = {"screen", "tmux", "rxvt"};

std::optional<Screen> look_up_screen() {
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::string_view(term) == "dumb") {
    return std::nullopt;
  }
  const std::optional<Terminfo> terminfo = load_terminfo();
  int found = 0;  // asked for, so that the library writes nothing itself
  if (!terminfo || terminfo->setupterm(term, STDOUT_FILENO, &found) != 0 || found != 1) {
    return std::nullopt;  // a terminal the database does not know is a dumb one
  }
  Screen screen;
  screen.enter_own_screen = capability(*terminfo, "smcup");
  screen.leave_own_screen = capability(*terminfo, "rmcup");
  if (screen.enter_own_screen.empty() || screen.leave_own_screen.empty()) {
    screen.enter_own_screen.clear();
    screen.leave_own_screen.clear();
  }
  screen.clear = capability(*terminfo, "clear");
  screen.cursor_home = capability(*terminfo, "home");
  const std::string_view name = term;
  screen.has_title = terminfo->tigetflag("XT") > 0 || terminfo->tigetflag("hs") > 0 ||
                     !capability(*terminfo, "tsl").empty() ||
                     std::any_of(std::begin(kTitleFamilies), std::end(kTitleFamilies),
                                 [name](std::string_view family) { return name.starts_with(family); });
  return screen;
}

}  // namespace

const Screen* screen() {
  static const std::optional<Screen> found = look_up_screen();
  return found ? &*found : nullptr;
}

bool takes_escapes() { return screen() != nullptr; }

}  // namespace terminal
