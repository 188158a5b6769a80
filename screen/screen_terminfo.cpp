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
  char* (*tiparm)(const char*, ...) = nullptr;
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
      !terminal::find_function(library, "tigetflag", terminfo.tigetflag) ||
      !terminal::find_function(library, "tiparm", terminfo.tiparm) ||
      !terminal::find_function(library, "tputs", terminfo.tputs) ||
      !terminal::find_function(library, "del_curterm", terminfo.del_curterm) ||
      !terminal::find_function(library, "cur_term", terminfo.cur_term) ||
      !terminal::find_function(library, "ospeed", terminfo.ospeed)) {
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
// the entry has none. `tsl` takes the column the status line's text
// starts at: the first.
std::string sequence(const Terminfo& terminfo, const char* name) {
  std::string raw = capability(terminfo, name);
  if (std::string_view(name) == "tsl" && !raw.empty()) {
    const char* filled = terminfo.tiparm(raw.c_str(), 0);
    raw = filled != nullptr ? filled : "";
  }
  expanded.clear();
  if (!raw.empty()) {
    terminfo.tputs(raw.c_str(), 1, append_to_expanded);
  }
  return expanded;
}

//   ESC ] 0 ; text BEL   set the window title (xterm, and GNU screen's hardstatus)
//   ESC [ 22 ; 0 t       save the window title on xterm's title stack
//   ESC [ 23 ; 0 t       restore the saved title
//   ESC _ ESC \          GNU screen: the window's hardstatus emptied
constexpr std::string_view kXtermTitleStart = "\x1b]0;";
constexpr std::string_view kXtermTitleEnd = "\x07";
constexpr std::string_view kSaveXtermTitle = "\x1b[22;0t";
constexpr std::string_view kRestoreXtermTitle = "\x1b[23;0t";
constexpr std::string_view kEmptyHardstatus = "\x1b_\x1b\\";

// tmux keeps xterm's title stack, whatever its entry says (its status line
// is the pane's title, which dsl would empty); it is known by its name, or
// by TMUX in the environment where it runs under a screen entry. GNU
// screen keeps none, under any of its entries (screen.xterm-256color has
// XT): its window's hardstatus is emptied again. A status line whose
// strings are xterm's title (rxvt-unicode's) cannot be given back either.
bool is_tmux(std::string_view term) {
  const char* tmux = std::getenv("TMUX");
  return term.starts_with("tmux") || (term.starts_with("screen") && tmux != nullptr && *tmux != '\0');
}

bool status_line_is_a_title(const std::string& start) {
  return start.starts_with("\x1b]0;") || start.starts_with("\x1b]1;") || start.starts_with("\x1b]2;");
}

void find_title(const Terminfo& terminfo, std::string_view term, Capabilities& screen) {
  if (is_tmux(term) || (terminfo.tigetflag("XT") > 0 && !term.starts_with("screen"))) {
    screen.save_title = kSaveXtermTitle;
    screen.title_start = kXtermTitleStart;
    screen.title_end = kXtermTitleEnd;
    screen.give_title_back = kRestoreXtermTitle;
  } else if (term.starts_with("screen")) {
    screen.title_start = kXtermTitleStart;
    screen.title_end = kXtermTitleEnd;
    screen.give_title_back = kEmptyHardstatus;
  } else if (terminfo.tigetflag("hs") > 0 && !capability(terminfo, "tsl").empty() &&
             !capability(terminfo, "dsl").empty() && !status_line_is_a_title(sequence(terminfo, "tsl"))) {
    screen.title_start = sequence(terminfo, "tsl");
    screen.title_end = sequence(terminfo, "fsl");
    screen.give_title_back = sequence(terminfo, "dsl");
  }
}

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
  find_title(*terminfo, term, screen);
  *terminfo->ospeed = line_speed;
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
