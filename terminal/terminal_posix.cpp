#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

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

struct termios modes_found {};
volatile sig_atomic_t have_modes = 0;
// Whose the terminal is, the one word the handlers and the program go by.
// The program's modes, screen and title are on it from guard() until a
// stop or a move to the background, and again once continued in the
// foreground; given back for good, it stays the shell's whatever comes.
enum Holder : sig_atomic_t {
  kNotGuarded,  // before guard(), and once given back for good
  kProgram,
  kShell,  // stopped or in the background: the program takes it back in the foreground
};
volatile sig_atomic_t holder = kNotGuarded;
// The modes the program had when it gave the terminal up for a stop.
struct termios modes_at_stop {};
volatile sig_atomic_t have_modes_at_stop = 0;
// Each wake-up is one byte in a pipe, so that none is lost between a
// handler and the wait that takes it.
int wake_up_pipe[2] = {-1, -1};
constexpr char kResumed = 'c';
constexpr char kResized = 'w';

// The modes key mode found, put back when it is left.
struct termios modes_before_keys {};
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

// The modes first: a write that fails (a terminal that is gone) must not
// leave them raw.
void put_terminal_back() {
  if (holder != kProgram) {
    return;
  }
  holder = kShell;
  if (have_modes != 0) {
    tcsetattr(STDIN_FILENO, TCSANOW, &modes_found);
  }
  write_text(leave_text);
}

// The terminal whose foreground the program needs: standard input's, or
// standard output's where input comes from elsewhere.
int terminal_descriptor = STDIN_FILENO;

void find_terminal() { terminal_descriptor = input_is_terminal() ? STDIN_FILENO : STDOUT_FILENO; }

// The program's process group is the terminal's foreground group: only then
// may it change the terminal's modes or write to its screen. A terminal
// that is not the process's controlling terminal has no foreground to wait for.
bool in_foreground() {
  const pid_t foreground = tcgetpgrp(terminal_descriptor);
  return foreground < 0 || foreground == getpgrp();
}

// Back in the foreground after a stop: the modes the program had then, and
// its screen and title.
void take_terminal_back() {
  if (holder != kShell || !in_foreground()) {
    return;
  }
  if (have_modes_at_stop != 0) {
    tcsetattr(STDIN_FILENO, TCSANOW, &modes_at_stop);
  }
  write_text(resume_text);
  holder = kProgram;
  wake_up(kResumed);
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
// foreground, where it has its prompt to show first.
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
  put_terminal_back();
  holder = kNotGuarded;
  restore_default(signal_number);
  raise(signal_number);
  errno = saved_errno;
}

// Ctrl+Z: the terminal goes back to the shell, the program stops, and once
// continued it takes the terminal again if it is in the foreground. After
// `bg` it leaves the terminal alone until `fg` continues it once more (see
// resume_if_foreground). A read or a change of the terminal from the
// background stops the program as any job (SIGTTIN and SIGTTOU at their
// defaults, whose stop cannot come after the continue that ends it); the
// terminal is not the program's then.
extern "C" void stop_for_signal(int signal_number) {
  const int saved_errno = errno;
  if (holder == kProgram) {
    have_modes_at_stop = have_modes != 0 && tcgetattr(STDIN_FILENO, &modes_at_stop) == 0 ? 1 : 0;
  }
  put_terminal_back();
  restore_default(signal_number);
  raise(signal_number);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, signal_number);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here until continued
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  install(signal_number, stop_for_signal);
  take_terminal_back();
  errno = saved_errno;
}

// `fg` after `bg` continues a program that is not stopped: the terminal is
// its again.
extern "C" void resume_if_foreground(int) {
  const int saved_errno = errno;
  take_terminal_back();
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

}  // namespace

bool wait_for_foreground() {
  // As any job that needs its terminal: stopped until the shell puts it in
  // the foreground. Where SIGTTIN is ignored, no stop would come.
  find_terminal();
  struct sigaction stop {};
  sigaction(SIGTTIN, nullptr, &stop);
  while (!in_foreground()) {
    if (stop.sa_handler == SIG_IGN || kill(0, SIGTTIN) != 0) {
      return false;
    }
  }
  return true;
}

void guard(std::string_view leave, std::string_view resume) {
  find_terminal();
  keep(leave_text, leave);
  keep(resume_text, resume);
  have_modes = tcgetattr(STDIN_FILENO, &modes_found) == 0 ? 1 : 0;
  if (pipe2(wake_up_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    wake_up_pipe[0] = wake_up_pipe[1] = -1;  // waits then only miss the redraw
  }
  wake_up_pipe[0] = above_standard_streams(wake_up_pipe[0]);
  wake_up_pipe[1] = above_standard_streams(wake_up_pipe[1]);
  give_handlers_a_stack();
  holder = kProgram;
  for (const int signal_number : kEndingSignals) {
    handle(signal_number, end_for_signal);
  }
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    handle(signal_number, end_for_signal);
  }
  handle(SIGTSTP, stop_for_signal);
  handle(SIGCONT, resume_if_foreground);
  handle(SIGWINCH, note_resized);
}

// With every signal held back meanwhile: a stop that came between giving
// the terminal back and the end of the guard would bring the program's
// screen back.
void give_back() {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  put_terminal_back();
  holder = kNotGuarded;
  sigprocmask(SIG_SETMASK, &before, nullptr);
}

namespace {
// From the background the change stops the program first (SIGTTOU), which
// interrupts it; it is made once the program is back in the foreground.
void set_modes(const struct termios& modes) {
  while (tcsetattr(STDIN_FILENO, TCSANOW, &modes) != 0 && errno == EINTR) {
  }
}
}  // namespace

bool enter_key_mode() {
  if (tcgetattr(STDIN_FILENO, &modes_before_keys) != 0) {
    return false;
  }
  struct termios key_mode = modes_before_keys;
  key_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  key_mode.c_cc[VMIN] = 1;
  key_mode.c_cc[VTIME] = 0;
  set_modes(key_mode);
  return true;
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
    happened.resized = happened.resized || std::find(bytes.begin(), end, kResized) != end;
  }
  if (happened.resized) {
    size_stand_in();
  }
  return happened;
}

void forget_wake_ups() { take_wake_ups(); }

int wake_up_descriptor() { return wake_up_pipe[0]; }

bool woken_up_since_taken() { return woken_up != 0; }

}  // namespace terminal
