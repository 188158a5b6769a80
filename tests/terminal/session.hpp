// The harness of the terminal tests: the program (or a shell) in a
// pseudo-terminal, as a user at a terminal would have it, and what the
// terminal receives and how it is left.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../program_command.hpp"
#include "../test_locales.hpp"

namespace terminal_test {

using namespace std::chrono_literals;

inline constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
inline constexpr std::string_view kThirdPrompt = "Geb' die zweite Zahl ein: ";
inline constexpr std::string_view kPausePrompt = "cken Sie eine beliebige Taste . . . ";
inline constexpr std::string_view kSetTitle = "\x1b]0;Einfacher Taschenrechner\x07";
inline constexpr std::string_view kSaveTitle = "\x1b[22;0t";
inline constexpr std::string_view kRestoreTitle = "\x1b[23;0t";
inline constexpr std::string_view kClear = "\x1b[H\x1b[2J";
inline constexpr std::string_view kClearScrollback = "\x1b[3J";
// xterm's terminfo entry (smcup and rmcup): the alternate screen, and the
// title saved and restored along with it.
inline constexpr std::string_view kEnterOwnScreen = "\x1b[?1049h\x1b[22;0;0t";
inline constexpr std::string_view kLeaveOwnScreen = "\x1b[?1049l\x1b[23;0;0t";
// The last bytes of every way out at a terminal.
inline const std::string kTerminalGivenBack = std::string(kRestoreTitle) + std::string(kLeaveOwnScreen);

// How the program is started, beyond its environment.
struct Start {
  // SIGINT ignored, as under nohup or in a background job of a
  // non-interactive shell.
  bool ignore_interrupt = false;
  // Standard input from a pipe holding this text, not from the terminal.
  const char* piped_input = nullptr;
  // In a process group of its own below a stand-in for a shell, so that
  // Ctrl+Z stops it (a session leader's group is orphaned, and the
  // kernel discards stop signals from the terminal for such groups).
  bool as_job = false;
  // Standard input the terminal opened for writing only, so that every
  // read of it fails.
  bool input_unreadable = false;
  // Standard output into a pipe that the program itself holds open, as
  // with `taschenrechner | cat`.
  bool output_piped = false;
  bool input_closed = false;  // as with `taschenrechner <&-`
  const char* argument = nullptr;
  // An interactive shell with job control instead of the program, which
  // the test starts from there.
  const char* shell = nullptr;
  // The terminal's special characters set so first (as with stty werase ^T).
  std::vector<std::pair<int, unsigned char>> control_characters = {};
  // At most this many open files (0: as inherited): with 6, no stand-in
  // terminal can be opened, and lines are read as without the line editor.
  int open_files = 0;
};

// The program in a pseudo-terminal of 80 x 24; killed and reaped if a test
// leaves it running.
struct Session {
  int master = -1;
  pid_t child = -1;
  std::string seen;         // everything the terminal received so far
  std::size_t mark = 0;     // where the next wait_for starts looking
  struct termios found {};  // the terminal's modes before the program started

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  explicit Session(const std::vector<std::string>& environment, const Start& start = {}) {
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, &size) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
      return;
    }
    tcgetattr(terminal, &found);
    const pid_t test = getpid();
    child = fork();
    if (child != 0) {
      close(terminal);
    } else {
      end_with_parent(test);
      close(master);
      login_tty(terminal);
      const struct rlimit no_core_files {};  // the crash cases end by SIGSEGV and SIGABRT
      setrlimit(RLIMIT_CORE, &no_core_files);
      if (start.open_files > 0) {
        const struct rlimit files { static_cast<rlim_t>(start.open_files), static_cast<rlim_t>(start.open_files) };
        setrlimit(RLIMIT_NOFILE, &files);
      }
      if (!start.control_characters.empty()) {
        struct termios modes {};
        tcgetattr(STDIN_FILENO, &modes);
        for (const auto& [which, character] : start.control_characters) modes.c_cc[which] = character;
        tcsetattr(STDIN_FILENO, TCSANOW, &modes);
      }
      if (start.as_job) {
        run_as_job();
      }
      if (start.input_unreadable) {
        const int unreadable = open(ttyname(STDOUT_FILENO), O_WRONLY);
        dup2(unreadable, STDIN_FILENO);
        close(unreadable);
      }
      if (start.ignore_interrupt) {
        signal(SIGINT, SIG_IGN);
      }
      if (start.input_closed) {
        close(STDIN_FILENO);
      }
      if (start.output_piped) {
        int output[2];
        if (pipe(output) != 0) _exit(126);
        dup2(output[1], STDOUT_FILENO);
        close(output[1]);
      }
      if (start.piped_input != nullptr) {
        int tasks[2];
        if (pipe(tasks) != 0) _exit(126);
        const std::string_view text = start.piped_input;
        if (write(tasks[1], text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(126);
        close(tasks[1]);
        dup2(tasks[0], STDIN_FILENO);
        close(tasks[0]);
      }
      std::vector<char*> envp;
      envp.reserve(environment.size() + 1);
      for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
      }
      envp.push_back(nullptr);
      if (start.shell != nullptr) {
        execle(start.shell, start.shell, "-i", nullptr, envp.data());
      }
      exec_program(envp.data(), start.argument);
      _exit(127);
    }
  }

  // In the forked child: forks the program's process, puts it in the
  // terminal's foreground as a job, and ends as the job ends. Returns only
  // in the job's process.
  static void run_as_job() {
    const pid_t stand_in_shell = getpid();
    const pid_t job = fork();
    if (job == 0) {
      end_with_parent(stand_in_shell);
      setpgid(0, 0);
      signal(SIGTTOU, SIG_IGN);
      tcsetpgrp(STDIN_FILENO, getpgrp());
      signal(SIGTTOU, SIG_DFL);
      return;
    }
    int status = 0;
    while (waitpid(job, &status, 0) != job || !(WIFEXITED(status) || WIFSIGNALED(status))) {
    }
    if (WIFSIGNALED(status)) {
      signal(WTERMSIG(status), SIG_DFL);
      kill(getpid(), WTERMSIG(status));
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 126);
  }

  // The program's process when started as a job: the stand-in shell's only child.
  pid_t job() const {
    std::ifstream children("/proc/" + std::to_string(child) + "/task/" + std::to_string(child) + "/children");
    pid_t pid = -1;
    children >> pid;
    return pid;
  }

  // Waits until the process is stopped (or no longer stopped).
  static bool wait_for_stopped(pid_t pid, bool stopped, std::chrono::milliseconds limit = patience()) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      std::getline(stat, line);
      const std::size_t after_name = line.rfind(") ");
      if (after_name != std::string::npos && (line[after_name + 2] == 'T') == stopped) {
        return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  // How many bytes the program has read so far, by its own count.
  long bytes_read() const {
    std::ifstream io("/proc/" + std::to_string(child) + "/io");
    for (std::string line; std::getline(io, line);) {
      if (line.starts_with("rchar:")) return std::stol(line.substr(6));
    }
    return -1;
  }

  bool wait_for_bytes_read(long at_least, std::chrono::milliseconds limit = patience(),
                           std::chrono::milliseconds step = 10ms) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes_read() < at_least) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(step);
    }
    return true;
  }

  ~Session() {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    if (master >= 0) {
      close(master);
    }
  }

  // Reads until `text` arrives after the mark, then moves the mark past it.
  bool wait_for(std::string_view text, std::chrono::milliseconds limit = patience()) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const std::size_t at = seen.find(text, mark);
      if (at != std::string::npos) {
        mark = at + text.size();
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= 0ms || !read_some(left)) {
        return false;
      }
    }
  }

  // Whatever arrives within `quiet`, for checking that nothing does.
  std::string drain(std::chrono::milliseconds quiet) {
    const std::size_t before = seen.size();
    while (read_some(quiet)) {
    }
    return seen.substr(before);
  }

  bool read_some(std::chrono::milliseconds limit) {
    struct pollfd ready {
      master, POLLIN, 0
    };
    if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0) {
      return false;
    }
    char buffer[4096];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) {
      return false;
    }
    seen.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  void type(std::string_view keys) const {
    ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Waits until the terminal's output is stopped (Ctrl+S typed reaches the
  // terminal in its own time): a write that cannot go on is the sign, and
  // until then the probe's NULs, which show nothing, reach the screen.
  bool wait_for_output_stopped(std::chrono::milliseconds limit = patience()) const {
    const int probe = open(ptsname(master), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool stopped = false;
    while (probe >= 0 && !stopped && std::chrono::steady_clock::now() < deadline) {
      stopped = write(probe, "", 1) < 0 && errno == EAGAIN;
      if (!stopped) std::this_thread::sleep_for(1ms);
    }
    if (probe >= 0) close(probe);
    return stopped;
  }

  // The wait status of the program once it has ended, -1 if it runs on.
  int wait_for_end(std::chrono::milliseconds limit = patience()) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
      if (std::chrono::steady_clock::now() > deadline) {
        return -1;
      }
      drain(0ms);
      std::this_thread::sleep_for(10ms);
    }
    child = -1;
    drain(0ms);
    return status;
  }

  struct termios settings() const {
    struct termios now {};
    tcgetattr(master, &now);
    return now;
  }
};

// The tests' own locales are found through LOCPATH; newlocale() loses what
// it parses of that, which LeakSanitizer would take for the program's leak.
inline std::vector<std::string> environment(const char* term, const char* locale) {
  std::vector<std::string> entries = {std::string("TERM=") + term, std::string("LC_ALL=") + locale,
                                      "PATH=/usr/bin:/bin"};
  if (is_test_locale(locale)) {
    entries.insert(entries.end(),
                   {std::string("LOCPATH=") + TASCHENRECHNER_TEST_LOCALES, "ASAN_OPTIONS=detect_leaks=0"});
  }
  return entries;
}

// Generous for a program that peaks at a few MiB, under an emulator too.
inline constexpr long kMemoryBoundKib = 64L * 1024;

inline long peak_memory_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

inline bool echoes_in_lines(const struct termios& settings) {
  return (settings.c_lflag & ECHO) != 0 && (settings.c_lflag & ICANON) != 0;
}

// Waits until the terminal echoes in lines (or no longer does); whether it
// came to that within `limit`.
inline bool wait_for_echo(const Session& session, bool echo, std::chrono::milliseconds limit = patience()) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (echoes_in_lines(session.settings()) != echo) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Waits until the terminal reads keys one at a time without echo, as the
// program has it while it waits for a key or a line.
inline void wait_for_key_modes(const Session& session) {
  EXPECT_TRUE(wait_for_echo(session, false)) << "the terminal never read keys one at a time";
}

inline void expect_same_modes(const struct termios& left, const struct termios& found) {
  EXPECT_EQ(left.c_lflag, found.c_lflag);
  EXPECT_EQ(left.c_iflag, found.c_iflag);
  EXPECT_EQ(left.c_cc[VMIN], found.c_cc[VMIN]);
  EXPECT_EQ(left.c_cc[VTIME], found.c_cc[VTIME]);
}

// At an interactive shell with job control, the shell's prompt.
inline constexpr std::string_view kShellPrompt = "sh> ";

// Runs `command` at the shell and returns all the terminal got until the
// shell has run it: the typed line's echo, the command's output, and the
// shell's lines about its jobs. The end is known by a word that the
// shell writes but the echo does not show.
inline std::string run_at_shell(Session& session, const std::string& command) {
  static int runs = 0;
  const std::string end = "END" + std::to_string(++runs) + "\r\n";
  const std::size_t start = session.seen.size();
  session.type(command + "; echo E''" + end.substr(1, end.size() - 3) + "\r");
  if (!session.wait_for(end)) return "no end of " + command;
  return session.seen.substr(start, session.mark - start);
}

// The shell's terminal modes as `stty -g` writes them, on the line before
// the end (behind the prompt, where the line was typed ahead).
inline std::string shell_modes(Session& session) {
  std::string output = run_at_shell(session, "stty -g");
  const std::size_t end = output.rfind("\r\n", output.size() - 3);
  if (end == std::string::npos) return "no modes from stty: " + output;
  output.resize(end);
  return output.substr(output.find_last_of(" \n") + 1);
}

// The pause passed, or the task "+ 1" typed so far completed with " 2" and
// then the pause, and the program ended with Ctrl+D: back at the shell,
// with its modes as found.
inline void pause_passed_and_end(Session& session, const std::string& modes) {
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
}

inline void complete_task_and_end(Session& session, const std::string& modes) {
  session.type(" 2\r");
  ASSERT_TRUE(session.wait_for("1+2  ist: 3"));
  pause_passed_and_end(session, modes);
}

// A few seeds in every test run; the variable named, set to FIRST-LAST (or
// one seed), runs those instead (TASCHENRECHNER_STORM_SEEDS for the key
// storm, tests/terminal/key_storm.sh; TASCHENRECHNER_JOB_STORM_SEEDS).
inline std::vector<unsigned> seeds(const char* variable, unsigned last) {
  unsigned first = 1;
  if (const char* range = std::getenv(variable)) {
    char* dash = nullptr;
    first = static_cast<unsigned>(std::strtoul(range, &dash, 10));
    last = *dash == '-' ? static_cast<unsigned>(std::strtoul(dash + 1, nullptr, 10)) : first;
  }
  std::vector<unsigned> all;
  for (unsigned seed = first; seed <= last; ++seed) all.push_back(seed);
  return all;
}

inline std::string program_line() {
  std::string command;
  for (const char* part : kProgramCommand) {
    if (part != nullptr) command.append(part).append(" ");
  }
  return command;
}

// The shell's jobs report the program stopped.
inline bool wait_for_job_stopped(Session& session) {
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (std::chrono::steady_clock::now() < deadline) {
    if (run_at_shell(session, "jobs").find("Stopped") != std::string::npos) return true;
  }
  return false;
}

// The status of the job that ended last: of one in the foreground from
// $?, of one in the background from dash's report ("Done" or "Done(2)"),
// which it gives once, before any prompt after the end: looked for in all
// the terminal received since `since`.
inline std::string job_status(Session& session, bool in_background, std::size_t since = 0) {
  if (!in_background) {
    const std::string output = run_at_shell(session, "echo status=$?");
    const std::size_t at = output.rfind("status=");
    return at == std::string::npos ? output : output.substr(at, output.find('\r', at) - at);
  }
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (std::chrono::steady_clock::now() < deadline) {
    run_at_shell(session, "jobs");
    const std::size_t done = session.seen.find("Done", since);
    if (done == std::string::npos) continue;
    if (session.seen.compare(done, 5, "Done(") != 0) return "status=0";
    return "status=" + session.seen.substr(done + 5, session.seen.find(')', done) - done - 5);
  }
  return "still running";
}

// Where the program stands in a job-control storm, as the shell sees it.
enum class JobState { foreground, stopped, background };

// The program's process state letter from /proc ('T' stopped, 'S' asleep ...).
inline char process_state(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t after_name = line.rfind(") ");
  return after_name == std::string::npos ? '?' : line[after_name + 2];
}

// A dash at the terminal, its prompt shown, and the program started from it.
struct ShellWithProgram {
  Session session;
  std::string modes;  // the shell's, before the program started
  explicit ShellWithProgram(const std::string& command) : session(shell_environment(), {.shell = "/bin/dash"}) {
    if (!session.wait_for(kShellPrompt)) return;
    modes = shell_modes(session);
    session.type(command + "\r");
    session.wait_for(kAsk);
  }
  static std::vector<std::string> shell_environment() {
    std::vector<std::string> entries = environment("xterm", "C");
    entries.emplace_back("PS1=" + std::string(kShellPrompt));
    return entries;
  }
};

// Waits until the process waits in a write to standard output: the
// terminal takes no more. Known by the call's first argument, descriptor 1
// (the only call of the program with it that waits), since the call's
// number is the host's, which an emulated test does not know.
inline bool wait_for_write_waiting(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream call("/proc/" + std::to_string(pid) + "/syscall");
    std::string number;
    std::string descriptor;
    if (call >> number >> descriptor && descriptor == "0x1" && process_state(pid) == 'S') return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// The children of a process, as /proc lists them.
inline std::vector<pid_t> children_of(pid_t parent) {
  std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  std::vector<pid_t> children;
  for (pid_t pid = 0; list >> pid;) children.push_back(pid);
  return children;
}

// Until `limit`: the index of whichever text arrives first after the mark,
// with the mark moved past it; -1 if none does.
inline int wait_for_any(Session& session, const std::vector<std::string_view>& texts,
                        std::chrono::milliseconds limit = patience()) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::size_t first = std::string::npos;
    int found = -1;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const std::size_t at = session.seen.find(texts[i], session.mark);
      if (at < first) {
        first = at;
        found = static_cast<int>(i);
      }
    }
    if (found >= 0) {
      session.mark = first + texts[static_cast<std::size_t>(found)].size();
      return found;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= 0ms || !session.read_some(left)) return -1;
  }
}

// After any storm the program must still compute. Once it has read all of
// the storm (an echoed marker shows that), it waits in the line editor with
// nothing left unread; answers of one word a line end the dialog it is in,
// and the next one must give 2+3 = 5. Empty if it does; else what went wrong.
inline std::string why_not_computing(Session& session) {
  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 80;
  ioctl(session.master, TIOCSWINSZ, &size);
  // "~" ends a cut-off key sequence or is the pause's key; the line is
  // cleared before the marker is typed, and after it.
  session.type("~\x05\x15#sync#");
  if (!session.wait_for("#sync#", 60000ms)) return "the marker was never echoed";
  session.type("\x05\x15");
  for (int answers = 0;; ++answers) {
    if (answers == 4) return "no pause after four answers";
    session.type("0\r");
    const int next = wait_for_any(session, {kPausePrompt, "Zahl ein:"});
    if (next < 0) return "nothing after an answer";
    if (next == 0) break;
  }
  // The key for the pause, or (had an answer too many ended it) a letter
  // on the next line, cleared.
  session.type("k");
  if (!session.wait_for(kAsk)) return "no prompt after the pause";
  session.type("\x05\x15+ 2 3\r");
  return session.wait_for("2+3  ist: 5\r\n") ? "" : "no 2+3 = 5";
}

enum class Ending { ctrl_d, interrupt, terminate, hangup };

}  // namespace terminal_test
