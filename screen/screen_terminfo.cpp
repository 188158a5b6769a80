#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "screen/screen.hpp"
#include "terminal/loaded_library.hpp"

namespace screen {
namespace {

// The terminfo library (ncurses' libtinfo, which libedit needs as well) is
// loaded only at a terminal, so that piped runs start as fast as before.
struct Terminal;  // the library's record of the terminal looked up
struct Terminfo {
  int (*setupterm)(const char*, int, int*) = nullptr;
  char* (*tigetstr)(const char*) = nullptr;
  int (*tigetflag)(const char*) = nullptr;
  int (*tputs)(const char*, int, int (*)(int)) = nullptr;
  int (*del_curterm)(Terminal*) = nullptr;
  Terminal** cur_term = nullptr;  // a variable, as the next one
  short* ospeed = nullptr;        // the line speed tputs pads for
};

std::optional<Terminfo> load_terminfo() {
  Terminfo terminfo;
  void* library = dlopen("libtinfo.so.6", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || !terminal::find_function(library, "setupterm", terminfo.setupterm) ||
      !terminal::find_function(library, "tigetstr", terminfo.tigetstr) ||
      !terminal::find_function(library, "tigetflag", terminfo.tigetflag) || !terminal::find_function(library, "tputs", terminfo.tputs) ||
      !terminal::find_function(library, "del_curterm", terminfo.del_curterm) ||
      !terminal::find_function(library, "cur_term", terminfo.cur_term) || !terminal::find_function(library, "ospeed", terminfo.ospeed)) {
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

// tputs hands each character of a sequence to a plain function, which
// can reach only a buffer outside it: this one.
std::string expanded;

int append_to_expanded(int character) {
  expanded.push_back(static_cast<char>(character));
  return character;
}

// A capability as the screen takes it: tputs reads the padding in it
// ($<50>, $<5*>, $<2/>) instead of letting it through as text. Empty where
// the entry has none.
std::string sequence(const Terminfo& terminfo, const char* name) {
  const std::string raw = capability(terminfo, name);
  expanded.clear();
  if (!raw.empty()) {
    terminfo.tputs(raw.c_str(), 1, append_to_expanded);
  }
  return expanded;
}

// GNU screen, tmux and rxvt take xterm's sequence for the window title,
// though their entries do not say so.
constexpr std::string_view kTitleFamilies[] = {"screen", "tmux", "rxvt"};

std::optional<Capabilities> look_up_capabilities() {
  const char* term = std::getenv("TERM");
  if (term == nullptr || *term == '\0' || std::string_view(term) == "dumb") {
    return std::nullopt;
  }
  const std::optional<Terminfo> terminfo = load_terminfo();
  int found = 0;  // asked for, so that the library writes nothing itself
  if (!terminfo || terminfo->setupterm(term, STDOUT_FILENO, &found) != 0 || found != 1) {
    return std::nullopt;  // a terminal the database does not know is a dumb one
  }
  // Called without a curses screen, tputs pads each delay in the entry
  // with pad characters (NUL, or the entry's pad), as many as the line
  // speed setupterm took from the terminal passes in that time, XON/XOFF
  // or not: 213 NULs for vt100's clear at 38400 baud. The screens we meet
  // need no delays, and a pseudo-terminal's speed is made up: at speed 0
  // no padding makes a byte, so the screen gets the sequences alone.
  // libedit shares the library, and its speed goes back afterwards.
  const short line_speed = *terminfo->ospeed;
  *terminfo->ospeed = 0;
  Capabilities screen;
  screen.enter_own_screen = sequence(*terminfo, "smcup");
  screen.leave_own_screen = sequence(*terminfo, "rmcup");
  if (screen.enter_own_screen.empty() || screen.leave_own_screen.empty()) {
    screen.enter_own_screen.clear();
    screen.leave_own_screen.clear();
  }
  screen.clear = sequence(*terminfo, "clear");
  screen.cursor_home = sequence(*terminfo, "home");
  *terminfo->ospeed = line_speed;
  const std::string_view name = term;
  screen.has_title = terminfo->tigetflag("XT") > 0 || terminfo->tigetflag("hs") > 0 ||
                     !capability(*terminfo, "tsl").empty() ||
                     std::any_of(std::begin(kTitleFamilies), std::end(kTitleFamilies),
                                 [name](std::string_view family) { return name.starts_with(family); });
  // All we need is copied out. libedit looks the terminal up again, and
  // where it does not take this record over (for rxvt) it would lie
  // unfreed to the end.
  terminfo->del_curterm(*terminfo->cur_term);
  return screen;
}

}  // namespace

const Capabilities* capabilities() {
  static const std::optional<Capabilities> found = look_up_capabilities();
  return found ? &*found : nullptr;
}

bool takes_escapes() { return capabilities() != nullptr; }

}  // namespace screen
