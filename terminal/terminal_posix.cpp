#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "terminal/process_group.hpp"
#include "terminal/streams.hpp"
#include "terminal/terminal.hpp"
#include "terminal/wake_ups.hpp"

namespace terminal {
namespace {

// The handlers may only use what is safe in a signal handler: the texts
// sit in fixed arrays, written with write(2).
struct Text {
  std::array<char, 256> bytes{};
  std::size_t size = 0;
};
Text leave_text;
Text resume_text;
// Set by the stop handler where the continue that ended its stop waits
// behind it: that continue is no continue of its own.
volatile sig_atomic_t continue_taken = 0;

struct termios modes_found {};
volatile sig_atomic_t have_modes = 0;

// Who holds the terminal: the one word the handlers and the program go by.
//
//   kNotGuarded  before guard(), and once given back for good (give_back,
//                an ending signal): the program changes nothing on the
//                terminal, and a signal leaves it alone.
//   kProgram     from guard() on, while in the foreground: the program's
//                modes, screen and title are on it.
//   kLeftBehind  the program's modes, screen and title are still on the
//                terminal, but the program is no longer in the foreground
//                and gave nothing back: a SIGSTOP (which no handler sees)
//                and bg, or a shell that took its terminal back without a
//                stop (the job's leader killed). The program writes nothing
//                and changes nothing meanwhile; taken back in the
//                foreground, it needs no start again, and at its end it
//                gives back what it left.
//   kShell       stopped (Ctrl+Z), or continued in the background (bg)
//                after it: the user's modes, screen and title are back. The
//                program takes the terminal again once continued in the
//                foreground (fg); until then it neither reads, writes nor
//                changes it.
//   kNeverOurs   the program cannot wait for the foreground, since no stop
//                would come (see can_stop_for_input): every read and write
//                of the terminal fails as the kernel fails them then, with
//                EIO.
//
// The transitions:
//   kNotGuarded -> kProgram    guard(), in the foreground
//   kNotGuarded -> kNeverOurs  waiting for the foreground when no stop can
//                              come
//   kProgram -> kShell         a stop (Ctrl+Z, SIGTSTP), in the foreground
//   kProgram -> kLeftBehind    a continue, a stop or a wait for the terminal
//                              that finds the program in the background
//   kShell -> kProgram         back in the foreground: the start again
//   kLeftBehind -> kProgram    back in the foreground: the prompt again
//   kShell -> kNeverOurs       waiting for the foreground when no stop can
//                              come any more (the shell has gone)
//   any -> kNotGuarded         give_back() and the ending signals, which
//                              first give back what the program holds or
//                              left behind
enum Holder : sig_atomic_t {
  kNotGuarded,
  kProgram,
  kLeftBehind,
  kShell,
  kNeverOurs,
};
volatile sig_atomic_t holder = kNotGuarded;
// Counted by the continue handler: a stop that came to pass ended with a
// continue, one that the kernel discarded did not.
volatile sig_atomic_t continues = 0;
// Each wake-up is one byte in a pipe, so that none is lost between a
// handler and the wait that takes it.
int wake_up_pipe[2] = {-1, -1};
constexpr char kResumed = 'c';
constexpr char kContinued = 'a';
constexpr char kResized = 'w';
constexpr char kLookAgain = 'g';

// The modes key mode found, put back when it is left (key mode itself
// where the pause enters it within the line editor's).
struct termios modes_before_keys {};

// Keys one at a time, without echo: the pause's and the line editor's mode.
struct termios as_key_mode(struct termios modes) {
  modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  return modes;
}
// The line editor's stand-in terminal, once opened.
int stand_in = -1;

// Set with each wake-up: keys read ahead are taken without a wait, which
// would have learnt of it (woken_up_since_taken).
volatile sig_atomic_t woken_up = 0;

void wake_up(char what) {
  woken_up = 1;
  [[maybe_unused]] const ssize_t ignored = write(wake_up_pipe[1], &what, 1);  // full: awake anyway
}

// Every signal whose default action ends the process (signal(7): Term and
// Core), the faults of a crash among them (std::terminate ends in SIGABRT);
// the real-time signals come on top.
constexpr std::array kEndingSignals = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void keep(Text& text, std::string_view bytes) {
  text.size = std::min(bytes.size(), text.bytes.size());
  std::copy_n(bytes.begin(), text.size, text.bytes.begin());
}

void write_text(const Text& text) {
  for (std::size_t done = 0; done < text.size;) {
    const ssize_t written = write(STDOUT_FILENO, text.bytes.data() + done, text.size - done);
    if (written <= 0) {
      return;  // a terminal that is gone cannot be put back
    }
    done += static_cast<std::size_t>(written);
  }
}

// The terminal whose foreground the program needs: standard input's, or
// standard output's where input comes from elsewhere.
int terminal_descriptor = STDIN_FILENO;

void find_terminal() { terminal_descriptor = input_is_terminal() ? STDIN_FILENO : STDOUT_FILENO; }

// The program's process group is the terminal's foreground group: only then
// may it change the terminal's modes or write to its screen. A terminal
// that is not the process's controlling terminal has no foreground to wait
// for, and neither has one that hung up: tcgetpgrp fails on both.
bool in_foreground() {
  const pid_t foreground = tcgetpgrp(terminal_descriptor);
  return foreground < 0 || foreground == getpgrp();
}

// The modes the program has the terminal in (those it found, or key mode),
// put on it again whenever it takes the terminal back.
struct termios program_modes {};
volatile sig_atomic_t have_program_modes = 0;

bool same_modes(const struct termios& left, const struct termios& right) {
  return left.c_iflag == right.c_iflag && left.c_oflag == right.c_oflag && left.c_cflag == right.c_cflag &&
         left.c_lflag == right.c_lflag &&
         std::equal(std::begin(left.c_cc), std::end(left.c_cc), std::begin(right.c_cc));
}

// The terminal's modes are still those the program put on it: no shell
// has put its own on since.
bool modes_are_programs() {
  struct termios now {};
  return have_program_modes != 0 && tcgetattr(STDIN_FILENO, &now) == 0 && same_modes(now, program_modes);
}

// The modes first: a write that fails (a terminal that is gone) must not
// leave them raw.
void leave_terminal() {
  if (have_modes != 0) {
    tcsetattr(STDIN_FILENO, TCSANOW, &modes_found);
  }
  write_text(leave_text);
}

// A stop: the terminal goes back to the shell, but only from the
// foreground. In the background it is the shell's already, whatever the
// program left on it, and with SIGTTOU blocked (as it is in every
// handler) the kernel would let a change through from there.
void give_terminal_up_for_stop() {
  if (holder != kProgram) {
    return;
  }
  if (!in_foreground()) {
    holder = kLeftBehind;
    return;
  }
  holder = kShell;
  leave_terminal();
}

// The end: what the program holds, or left behind, goes back to the user
// once. From the background too, where the program's screen is still up
// (its shell took the terminal without a stop): the kernel lets a write,
// and a mode change with SIGTTOU blocked (as it is here, in a handler or
// with signals held), through from the background even under `stty
// tostop`. There the modes are put back only where they are still the
// program's: a shell that put its own on keeps them.
void give_terminal_up_for_good() {
  const sig_atomic_t held = holder;
  holder = kNotGuarded;
  if (held == kProgram && in_foreground()) {
    leave_terminal();
  } else if (held == kProgram || held == kLeftBehind) {
    if (modes_are_programs() && have_modes != 0) {
      tcsetattr(STDIN_FILENO, TCSANOW, &modes_found);
    }
    write_text(leave_text);
  }
}

// Back in the foreground: the program's modes, and its screen and title
// where it had given them back. The modes the shell has now are the
// user's from here on, so that an `stty` made while the program was
// stopped is kept at its end; unless they are still the program's own
// (a SIGSTOP left them on the terminal, and a shell need not put its own
// back).
void take_terminal_back() {
  if ((holder != kShell && holder != kLeftBehind) || !in_foreground()) {
    return;
  }
  struct termios now {};
  if (have_modes != 0 && tcgetattr(STDIN_FILENO, &now) == 0 &&
      (have_program_modes == 0 || !same_modes(now, program_modes))) {
    // And while the program runs: its own modes are the user's new ones
    // (a new intr, -ixon), in key mode where it reads keys.
    const auto reads_keys = [](const struct termios& modes) { return (modes.c_lflag & ICANON) == 0; };
    modes_found = now;
    modes_before_keys = reads_keys(modes_before_keys) ? as_key_mode(now) : now;
    program_modes = reads_keys(program_modes) ? as_key_mode(now) : now;
    have_program_modes = 1;
  }
  if (have_program_modes != 0) {
    tcsetattr(STDIN_FILENO, TCSANOW, &program_modes);
  }
  const bool own_stop = holder == kShell;
  if (own_stop) {
    write_text(resume_text);
  }
  holder = kProgram;
  wake_up(own_stop ? kResumed : kContinued);
}

// A handler of ours blocks every signal, but SIGTTIN is sent from outside one.
bool can_stop_for_input() {
  struct sigaction action {};
  sigaction(SIGTTIN, nullptr, &action);
  sigset_t blocked;
  sigprocmask(SIG_BLOCK, nullptr, &blocked);
  return action.sa_handler != SIG_IGN && sigismember(&blocked, SIGTTIN) == 0 && !group_is_orphaned();
}

// A crash because the stack ran out still gives the terminal back: the
// handlers run on a stack of their own, ample for the few calls they make.
alignas(16) std::array<char, std::size_t{64} * 1024> handler_stack;

void give_handlers_a_stack() {
  stack_t stack{};
  stack.ss_sp = handler_stack.data();
  stack.ss_size = handler_stack.size();
  sigaltstack(&stack, nullptr);
}

// Every handler of ours blocks the others while it runs: a signal that
// comes during one is delivered after it, never lost. Calls it interrupts
// go on where they were (waits poll the wake-up file instead), but for
// those a continue interrupts: a read that stopped the program in the
// background must not go on waiting once the program is back in the
// foreground, where it has its prompt to show first; and a write that
// waited when a SIGSTOP came must not go on after `bg`. Every read and
// write of the terminal asks whether it is the program's again after an
// EINTR. (Ctrl+Z interrupts no write: it is held back while one runs, see
// write_to_terminal.)
void install(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = (signal_number == SIGCONT ? 0 : SA_RESTART) | SA_ONSTACK;
  sigfillset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

void restore_default(int signal_number) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

// Ends the program as the signal does, once the terminal is put back: a
// signal sent is delivered again as this handler returns; a fault (a crash)
// happens again at the instruction that caused it.
extern "C" void end_for_signal(int signal_number) {
  const int saved_errno = errno;
  give_terminal_up_for_good();
  restore_default(signal_number);
  raise(signal_number);
  errno = saved_errno;
}

// Ctrl+Z: the terminal goes back to the shell, the program stops, and once
// continued it takes the terminal again if it is in the foreground. After
// `bg` it leaves the terminal alone until `fg` continues it once more (see
// continued). Where the kernel would discard the stop (an orphaned group),
// Ctrl+Z does nothing at all, as in a shell without job control: giving
// the screen up and taking it back would lose what it showed.
extern "C" void stop_for_signal(int signal_number) {
  const int saved_errno = errno;
  if (group_is_orphaned()) {
    errno = saved_errno;
    return;
  }
  give_terminal_up_for_stop();
  restore_default(signal_number);
  raise(signal_number);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, signal_number);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here until continued
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  install(signal_number, stop_for_signal);
  take_terminal_back();
  sigset_t pending;
  continue_taken = sigpending(&pending) == 0 && sigismember(&pending, SIGCONT) == 1 ? 1 : 0;
  errno = saved_errno;
}

// Every continue: counted (see wait_for_foreground), and the terminal taken
// back in the foreground. A continue that finds the program holding the
// terminal may follow a SIGSTOP, which no handler sees: in the background
// (bg) the terminal is the shell's now, with the program's screen left on
// it; in the foreground (fg) the shell may have put its own modes on and
// written over the prompt, so the program's modes go on again and the
// prompt is shown again.
extern "C" void continued(int) {
  const int saved_errno = errno;
  continues = continues + 1;
  if (holder == kProgram && continue_taken == 0) {
    holder = kLeftBehind;
  }
  continue_taken = 0;
  take_terminal_back();
  // Continued in the background: a wait that began just before the stop,
  // past its check of the terminal, must look again, and stop there.
  if (holder != kProgram) {
    wake_up(kLookAgain);
  }
  errno = saved_errno;
}

extern "C" void note_resized(int) {
  const int saved_errno = errno;
  wake_up(kResized);
  errno = saved_errno;
}

// A signal the program was started to ignore stays ignored.
void handle(int signal_number, void (*handler)(int)) {
  struct sigaction previous {};
  sigaction(signal_number, nullptr, &previous);
  if (previous.sa_handler != SIG_IGN) {
    install(signal_number, handler);
  }
}

// SIGCONT continues the process whether ignored or blocked: a handler of
// ours changes nothing a user could ask for by ignoring it, and without one
// neither the terminal's return nor a discarded stop could be known.
void count_continues() {
  install(SIGCONT, continued);
  sigset_t cont;
  sigemptyset(&cont);
  sigaddset(&cont, SIGCONT);
  sigprocmask(SIG_UNBLOCK, &cont, nullptr);
}

// The program's own descriptors stay clear of 0, 1 and 2, which may be
// closed when it starts: a standard stream closed must read as closed.
int above_standard_streams(int descriptor) {
  if (descriptor < 0 || descriptor > STDERR_FILENO) {
    return descriptor;
  }
  const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(descriptor);
  return moved;
}

// With every signal held back, so that no handler sees half of a change.
template <typename Change>
void with_signals_held(Change change) {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  change();
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Stops the program as a job that wants to read, until a continue; false
// where no stop came. A read of no bytes from the terminal lets the kernel
// decide, in one step with the shell's moves: it stops the program (SIGTTIN)
// exactly while it is in the background, answers at once in the
// foreground, and fails with EIO where no stop can come. A check of the
// foreground followed by a signal of our own could stop the program just
// after `fg` had made it the foreground job. Where standard input is not
// the terminal (or cannot be read), the signal it is, and a stop the
// kernel discarded is known by the continue that never came.
bool stop_until_continued() {
  if (terminal_descriptor == STDIN_FILENO) {
    if (read(STDIN_FILENO, nullptr, 0) == 0 || errno == EINTR) {
      return true;
    }
    if (errno == EIO) {
      return false;
    }
  }
  const sig_atomic_t continues_before = continues;
  return kill(0, SIGTTIN) == 0 && continues != continues_before;
}

}  // namespace

bool wait_for_foreground() {
  // As any job that needs its terminal: stopped until the shell puts it in
  // the foreground. Where no stop would come (SIGTTIN ignored or blocked,
  // an orphaned group), the kernel fails a read from the background with
  // EIO; so does the program, rather than spin.
  find_terminal();
  find_own_session();
  count_continues();
  while (!in_foreground()) {
    if (holder == kNeverOurs || !can_stop_for_input() || !stop_until_continued()) {
      // What the program left on the terminal it gives back at its end.
      if (holder != kProgram && holder != kLeftBehind) holder = kNeverOurs;
      return false;
    }
  }
  return true;
}

bool wait_for_terminal() {
  for (;;) {
    switch (holder) {
      case kProgram:
        if (in_foreground()) {
          return true;
        }
        // Moved to the background with no stop and no continue: a shell
        // takes its terminal back so when the job's leader ends (`sh -c
        // 'taschenrechner; :'` killed) while the program runs on. From
        // there the terminal is the shell's, with the program's screen
        // left on it.
        with_signals_held([] {
          if (holder == kProgram) holder = kLeftBehind;
        });
        break;
      case kNeverOurs: return false;
      case kNotGuarded:
        // Unguarded (no screen to set up: tasks piped to a terminal without
        // sequences), the output's terminal is still the one to ask.
        find_terminal();
        return in_foreground() || wait_for_foreground();
      default:
        if (!wait_for_foreground()) {
          return false;
        }
        // In the foreground with no continue that gave it the terminal (a
        // shell that moved it there without one): taken back here.
        with_signals_held(take_terminal_back);
        break;
    }
  }
}

void guard(std::string_view start, std::string_view leave, std::string_view resume) {
  find_terminal();
  find_own_session();
  keep(leave_text, leave);
  keep(resume_text, resume);
  if (pipe2(wake_up_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    wake_up_pipe[0] = wake_up_pipe[1] = -1;  // waits then only miss the redraw
  }
  wake_up_pipe[0] = above_standard_streams(wake_up_pipe[0]);
  wake_up_pipe[1] = above_standard_streams(wake_up_pipe[1]);
  give_handlers_a_stack();
  // The handlers, the start written and the terminal the program's in one
  // step: a stop in between would push the user's title twice and pop it
  // once, and a signal just after the start would leave the program's
  // screen up.
  with_signals_held([start] {
    have_modes = tcgetattr(STDIN_FILENO, &modes_found) == 0 ? 1 : 0;
    program_modes = modes_found;
    have_program_modes = have_modes;
    holder = kProgram;
    for (const int signal_number : kEndingSignals) {
      handle(signal_number, end_for_signal);
    }
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
      handle(signal_number, end_for_signal);
    }
    handle(SIGTSTP, stop_for_signal);
    handle(SIGWINCH, note_resized);
    Text start_text;
    keep(start_text, start);
    write_text(start_text);
  });
  count_continues();  // after the held block, which puts the mask found back
}

long write_to_terminal(long (*write)(int file, const char* bytes, std::size_t count), int file, const char* bytes,
                       std::size_t count) {
  sigset_t stop;
  sigset_t before;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_BLOCK, &stop, &before);
  long written = -1;
  if (wait_for_terminal()) {
    written = write(file, bytes, count);
  } else {
    errno = EIO;
  }
  const int saved_errno = errno;
  sigprocmask(SIG_SETMASK, &before, nullptr);  // a Ctrl+Z held back stops the program here
  errno = saved_errno;
  return written;
}

long read_from_terminal(int file, char* bytes, std::size_t count) {
  for (;;) {
    if (!wait_for_terminal()) {
      errno = EIO;
      return -1;
    }
    struct pollfd ready {
      file, POLLIN, 0
    };
    const int polled = poll(&ready, 1, -1);
    if (polled < 0 && errno != EINTR) {
      return -1;
    }
    // A key, the end or a failure to read (a hang-up, a closed descriptor),
    // each told by the read, where the terminal is still the program's; a
    // signal (Ctrl+Z and fg, bg) makes the program look again.
    if (polled > 0 && wait_for_terminal()) {
      const ssize_t got = read(file, bytes, count);
      if (got >= 0 || errno != EINTR) {
        return got;
      }
    }
  }
}

namespace {
long write_plainly(int file, const char* bytes, std::size_t count) { return write(file, bytes, count); }
}  // namespace

bool write_to_screen(std::string_view bytes) {
  while (!bytes.empty()) {
    const long written = write_to_terminal(write_plainly, STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      errno = written < 0 ? errno : EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// With every signal held back meanwhile: a stop that came between giving
// the terminal back and the end of the guard would bring the program's
// screen back.
void give_back() { with_signals_held(give_terminal_up_for_good); }

namespace {
// Only while the terminal is the program's, and in the foreground, checked
// with every signal held back: a change made with SIGTTOU blocked would go
// through from the background. Waiting for the terminal first stops the
// program as any job until `fg`.
bool set_modes(const struct termios& modes) {
  for (;;) {
    if (!wait_for_terminal()) {
      return false;
    }
    bool set = false;
    with_signals_held([&modes, &set] {
      if ((holder == kProgram || holder == kNotGuarded) && in_foreground()) {
        program_modes = modes;
        have_program_modes = 1;
        tcsetattr(STDIN_FILENO, TCSANOW, &modes);
        set = true;
      }
    });
    if (set) {
      return true;
    }
  }
}
}  // namespace

bool enter_key_mode() {
  if (!wait_for_terminal() || tcgetattr(STDIN_FILENO, &modes_before_keys) != 0) {
    return false;
  }
  return set_modes(as_key_mode(modes_before_keys));
}

void leave_key_mode() { set_modes(modes_before_keys); }

namespace {
void size_stand_in() {
  struct winsize size {};
  if (stand_in >= 0 && ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0) {
    ioctl(stand_in, TIOCSWINSZ, &size);
  }
}
}  // namespace

// Both ends stay open as long as the program runs: with its other end
// closed, the stand-in would fail every call.
int stand_in_terminal() {
  static const bool opened = [] {
    struct termios modes {};
    int other_end = -1;
    if (tcgetattr(STDIN_FILENO, &modes) != 0 || openpty(&other_end, &stand_in, nullptr, &modes, nullptr) != 0) {
      stand_in = -1;
      return false;
    }
    other_end = above_standard_streams(other_end);
    stand_in = above_standard_streams(stand_in);
    fcntl(other_end, F_SETFD, FD_CLOEXEC);
    fcntl(stand_in, F_SETFD, FD_CLOEXEC);
    size_stand_in();
    return true;
  }();
  return opened ? stand_in : -1;
}

WakeUps take_wake_ups() {
  woken_up = 0;
  WakeUps happened;
  std::array<char, 64> bytes{};
  for (ssize_t got = 0; wake_up_pipe[0] >= 0 && (got = read(wake_up_pipe[0], bytes.data(), bytes.size())) > 0;) {
    const auto end = bytes.begin() + got;
    happened.resumed = happened.resumed || std::find(bytes.begin(), end, kResumed) != end;
    happened.continued = happened.continued || std::find(bytes.begin(), end, kContinued) != end;
    happened.resized = happened.resized || std::find(bytes.begin(), end, kResized) != end;
  }
  // A stopped job is told of no resize: back from a stop, the size is asked anew.
  happened.resized = happened.resized || happened.resumed || happened.continued;
  if (happened.resized) {
    size_stand_in();
  }
  return happened;
}

// The modes found are the user's: key mode changes neither these nor any
// control character. Linux switches a character off with 0 (_POSIX_VDISABLE).
EditingCharacters users_editing_characters() {
  EditingCharacters found;
  with_signals_held([&found] {  // a continue takes the modes anew
    if (have_modes == 0) return;
    const cc_t* characters = modes_found.c_cc;
    found = {.erase = characters[VERASE],
             .word_erase = characters[VWERASE],
             .kill = characters[VKILL],
             .literal_next = characters[VLNEXT],
             .reprint = characters[VREPRINT],
             .end_of_file = characters[VEOF]};
  });
  return found;
}

int wake_up_descriptor() { return wake_up_pipe[0]; }

bool program_holds_terminal() { return holder == kProgram; }

bool woken_up_since_taken() { return woken_up != 0; }

}  // namespace terminal
