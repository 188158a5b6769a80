#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "io/standard_streams.hpp"
#include "keys/keys.hpp"
#include "screen/screen.hpp"
#include "terminal/streams.hpp"
#include "terminal/terminal.hpp"

// The screen of the program's own (which has no scrollback, so that the
// user's screen and scrollback stay as they were), the clearing, the
// cursor's way home and the window title come from the terminal's terminfo
// entry (screen/). The keys read at the pause may send sequences of their own:
//   ESC [ params final   (CSI, final byte 0x40 to 0x7e) and ESC O params x (SS3).
namespace console {
namespace {

// Whether the program clears the screen after each pass (where it waited
// for a key), on a screen of its own where the terminal has one, left on
// every way out.
bool clears = false;
bool output_takes_escapes() { return terminal::output_is_terminal() && screen::takes_escapes(); }

// Back from a stop or a continue, or at a new size: the result the pause
// exists to show, with the closing text and the prompt (a file or a pipe
// keeps the prompt once).
void show_pause_again(terminal::WakeUps happened) { static_cast<void>(screen::show_pass_again(happened)); }

void write_pause_prompt() { std::cout << kPausePrompt; }

// The prompt comes only once echo is off, so that no key pressed as soon as
// it shows can be echoed.
void wait_for_one_key_at_terminal() {
  if (!terminal::enter_key_mode()) {
    write_pause_prompt();
    return;
  }
  try {
    // A stop or a resize since the pass was last shown shows it whole again
    // first, where it can be: the prompt then follows it once.
    std::cout.flush();
    static_cast<void>(screen::show_pass_before_prompt(terminal::take_wake_ups()));
    write_pause_prompt();
    std::cout.flush();  // all of it on screen while the pause waits
    // Exactly one key, however many bytes it sends. Where none can be read,
    // the program ends as at a line that cannot be read, before anything
    // more is written.
    if (keys::read_key(show_pause_again).empty() && errno != 0) {
      io::fail_to_read(errno);
    }
  } catch (...) {
    // Output that fails ends the program: the terminal goes back first.
    terminal::leave_key_mode();
    throw;
  }
  terminal::leave_key_mode();
}

// At a terminal the program has a screen of its own for as long as it runs;
// whatever ends or stops it gives the user's screen, title and terminal
// modes back first.
void start_session(std::string_view title) {
  const bool escapes = output_takes_escapes();
  if (!escapes && !terminal::input_is_terminal()) {
    return;
  }
  // Started in the background, the program touches the terminal only once
  // it is in the foreground; where it can never be, not at all (its first
  // read or write there fails).
  if (!terminal::wait_for_foreground()) {
    return;
  }
  const screen::Capabilities* screen = escapes ? screen::capabilities() : nullptr;
  clears = screen != nullptr && terminal::input_is_terminal();
  const bool own_screen = clears && !screen->enter_own_screen.empty();
  const bool titled = screen != nullptr && screen->has_title();
  // The program's screen with the cursor at the top, as after every
  // clearing, and the user's title saved; back from a stop the same again
  // (the screen is empty then), with the program's title.
  std::string start;
  std::string leave;
  if (own_screen) {
    start.append(screen->enter_own_screen).append(screen->cursor_home);
  }
  if (titled) {
    start.append(screen->save_title);
    leave.append(screen->give_title_back);
  }
  if (own_screen) {
    leave.append(screen->leave_own_screen);
  }
  std::string resume = start;
  if (titled) {
    resume.append(screen->title_start).append(title).append(screen->title_end);
  }
  terminal::guard(start, leave, resume);
}

}  // namespace

TerminalSession::TerminalSession(std::string_view title) { start_session(title); }

TerminalSession::~TerminalSession() {
  try {
    restore_terminal();
  } catch (...) {
    // Given back already; the failed write is the caller's to report.
  }
}

void set_title(std::string_view title) {
  if (!output_takes_escapes() || !screen::capabilities()->has_title() || !terminal::wait_for_terminal()) {
    return;
  }
  // Past what the pass shows: a title is no text to show again.
  std::cout.flush();
  std::string set;
  set.append(screen::capabilities()->title_start).append(title).append(screen::capabilities()->title_end);
  static_cast<void>(terminal::write_to_screen(set));
}

// What the session changed goes back in one piece, the modes first; what
// the program wrote before goes out before that.
void restore_terminal() {
  try {
    std::cout.flush();
  } catch (...) {
    terminal::give_back();
    throw;
  }
  clears = false;
  terminal::give_back();
}

void pause_for_key() {
  if (terminal::input_is_terminal()) {
    wait_for_one_key_at_terminal();
  } else {
    write_pause_prompt();
  }
  std::cout << '\n';
}

// Only a pause that waited for the user may be followed by clearing: piped
// tasks would otherwise wipe their own results from the screen at once.
void clear_screen() {
  if (clears) {
    std::cout.flush();
    // One that cannot be written: the program's next write says why.
    static_cast<void>(terminal::write_to_screen(screen::capabilities()->clear));
    screen::note_cleared();
  }
}

}  // namespace console
