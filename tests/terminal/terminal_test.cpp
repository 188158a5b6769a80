// Drives the built program in a pseudo-terminal, as a user at a terminal
// would, and checks what the terminal receives and how it is left.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../program_command.hpp"

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kThirdPrompt = "Geb' die zweite Zahl ein: ";
constexpr std::string_view kPausePrompt = "cken Sie eine beliebige Taste . . . ";
constexpr std::string_view kSetTitle = "\x1b]0;Einfacher Taschenrechner\x07";
constexpr std::string_view kSaveTitle = "\x1b[22;0t";
constexpr std::string_view kRestoreTitle = "\x1b[23;0t";
constexpr std::string_view kClear = "\x1b[H\x1b[2J";
constexpr std::string_view kClearScrollback = "\x1b[3J";
constexpr std::string_view kEnterOwnScreen = "\x1b[?1049h";
constexpr std::string_view kLeaveOwnScreen = "\x1b[?1049l";
// The last bytes of every way out at a terminal.
const std::string kTerminalGivenBack = std::string(kRestoreTitle) + std::string(kLeaveOwnScreen);

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
  explicit Session(const std::vector<std::string>& environment, Start start = {}) {
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    int terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, &size) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
      return;
    }
    tcgetattr(terminal, &found);
    child = fork();
    if (child != 0) {
      close(terminal);
    } else {
      close(master);
      login_tty(terminal);
      if (start.as_job) {
        run_as_job();
      }
      if (start.ignore_interrupt) {
        signal(SIGINT, SIG_IGN);
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
      exec_program(envp.data());
      _exit(127);
    }
  }

  // In the forked child: forks the program's process, puts it in the
  // terminal's foreground as a job, and ends as the job ends. Returns only
  // in the job's process.
  static void run_as_job() {
    const pid_t job = fork();
    if (job == 0) {
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
  static bool wait_for_stopped(pid_t pid, bool stopped, std::chrono::milliseconds limit = 30000ms) {
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
  // The limits only end a test that has already failed: on a busy machine
  // the program may wait seconds for a core.
  bool wait_for(std::string_view text, std::chrono::milliseconds limit = 30000ms) {
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

  // The wait status of the program once it has ended, -1 if it runs on.
  int wait_for_end(std::chrono::milliseconds limit = 30000ms) {
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

std::vector<std::string> environment(const char* term, const char* locale) {
  return {std::string("TERM=") + term, std::string("LC_ALL=") + locale, "PATH=/usr/bin:/bin"};
}

bool echoes_in_lines(const struct termios& settings) {
  return (settings.c_lflag & ECHO) != 0 && (settings.c_lflag & ICANON) != 0;
}

// In the C locale the editor knows no character beyond ASCII; a letter
// typed from a UTF-8 keyboard still reads as unknown characters, not as
// nothing. The screen, which cannot show the program's letters, gets ue.
TEST(AtATerminal, LettersBeyondAsciiInTheCLocaleAreUnknownCharacters) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\xc3\xbc 1 2\r");
  EXPECT_TRUE(session.wait_for("Fehler! Das Rechenzeichen ist ungueltig!\r\n")) << session.seen.substr(session.mark);
}

void expect_same_modes(const struct termios& left, const struct termios& found) {
  EXPECT_EQ(left.c_lflag, found.c_lflag);
  EXPECT_EQ(left.c_iflag, found.c_iflag);
  EXPECT_EQ(left.c_cc[VMIN], found.c_cc[VMIN]);
  EXPECT_EQ(left.c_cc[VTIME], found.c_cc[VTIME]);
}

TEST(AtATerminal, PauseWaitsForOneKeyWithoutEchoThenClearsAndGoesOn) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  EXPECT_EQ(
      session.seen.find(std::string(kEnterOwnScreen) + "\x1b[H" + std::string(kSaveTitle) + std::string(kSetTitle)), 0u)
      << session.seen;

  session.type("+\r3\r4\r");
  ASSERT_TRUE(session.wait_for(
      "Das Ergebnis der Rechenaufgabe  3+4  ist: 7\r\n\r\nUm eine erneute Rechenaufgabe zu loesen Drue"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  EXPECT_EQ(session.drain(300ms), "") << "the pause must wait for a key";
  EXPECT_FALSE(echoes_in_lines(session.settings()));

  const std::size_t after_pause_prompt = session.mark;
  session.type("k");
  // No echo of the key: the line end, the clearing and the next pass follow the prompt at once.
  const std::string next_pass = "\r\n" + std::string(kClear) + std::string(kSetTitle) + std::string(kAsk);
  ASSERT_TRUE(session.wait_for(next_pass)) << session.seen.substr(session.mark);
  EXPECT_EQ(session.seen.substr(after_pause_prompt, next_pass.size()), next_pass);

  // The key at the pause answers no prompt of the next dialog.
  session.type("+ 1 2\r");
  ASSERT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  1+2  ist: 3"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type(" ");
  ASSERT_TRUE(session.wait_for(kAsk));

  // Ctrl+D at the first prompt is the way out.
  session.type("\x04");
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(session.seen.ends_with(kTerminalGivenBack)) << session.seen.substr(session.mark);
  EXPECT_EQ(session.seen.find(kClearScrollback), std::string::npos) << "the user's scrollback stays";
  expect_same_modes(session.settings(), session.found);
}

TEST(AtATerminal, KeysOfSeveralBytesCountAsOneAtThePause) {
  // Each key arrives together with the next task typed ahead, which must stay.
  for (const char* key : {"\x1b[A", "\x1b[15~", "\x1bOP", "\xc3\xbc", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(key)));
    Session session(environment("xterm", "C.UTF-8"));
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("* 6 7\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    session.type(std::string(key) + "+ 1 2\r");
    ASSERT_TRUE(session.wait_for(kAsk));
    EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  1+2  ist: 3")) << session.seen.substr(session.mark);
  }
}

TEST(AtATerminal, KeysHeldOrTypedAheadLoseNothingButTheOneKey) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  // A whole calculation, the key for the pause and the next calculation, typed
  // ahead before the pause starts: the pause takes only its one key.
  session.type("- 9 4\rk+ 2 2\r");
  ASSERT_TRUE(session.wait_for("9-4  ist: 5\r\n"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  ASSERT_TRUE(session.wait_for("2+2  ist: 4\r\n")) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  // Enter held down at the pause: one is the key, the rest are blank lines
  // before the next sign.
  session.type("\r\r\r\r\r\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("* 6 7\r");
  ASSERT_TRUE(session.wait_for("6*7  ist: 42\r\n")) << session.seen.substr(session.mark);
  EXPECT_EQ(session.seen.find("Fehler!"), std::string::npos);
}

TEST(AtATerminal, CharactersReadAheadStayForTheNextDialog) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+\r1\r3,5\r");
  ASSERT_TRUE(session.wait_for("1+3  ist: 4"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  // The comma and the 5 answer the first two prompts; the dialog waits at the third.
  ASSERT_TRUE(session.wait_for(std::string(kAsk) + "\r\nGeb' die erste Zahl ein: " + std::string(kThirdPrompt)));
  EXPECT_EQ(session.drain(300ms), "");
  session.type("7\r");
  EXPECT_TRUE(session.wait_for("7\r\n\r\nFehler! Das Rechenzeichen ist ungueltig!\r\n"));
}

TEST(AtATerminal, LettersShowInTheLocaleCharsetAndTypeAsOneSign) {
  Session session(environment("xterm", "C.UTF-8"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\xc3\xbc\r1\r2\r");
  ASSERT_TRUE(session.wait_for("Fehler! Das Rechenzeichen ist ung\xc3\xbcltig!\r\n\r\n"));
  ASSERT_TRUE(
      session.wait_for("Um eine erneute Rechenaufgabe zu l\xc3\xb6sen Dr\xc3\xbc"
                       "cken Sie"));
  EXPECT_EQ(session.seen.find("Fehler!"), session.seen.rfind("Fehler!")) << "one error line only";
}

// Keys typed for the first number, edited before the dialog reads the line.
struct EditCase {
  const char* name;
  const char* keys;
  const char* number;  // as the result line shows it
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EditingAtATerminal : public testing::TestWithParam<EditCase> {};

TEST_P(EditingAtATerminal, TheDialogReadsTheEditedLine) {
  const EditCase& c = GetParam();
  Session session(environment("xterm", "C.UTF-8"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+\r");
  ASSERT_TRUE(session.wait_for("Geb' die erste Zahl ein: "));
  session.type(std::string(c.keys) + "\r");
  ASSERT_TRUE(session.wait_for(kThirdPrompt)) << session.seen.substr(session.mark);
  session.type("1\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  " + std::string(c.number) + "+1  ist: "))
      << session.seen.substr(session.mark);
}

const EditCase kEdits[] = {
    {"LeftInTheMiddle", "12\x1b[D3", "132"},
    {"HomeAndEnd", "2\x1b[H1\x1b[F3", "123"},
    {"HomeAndEndOfTheLinuxConsole", "2\x1b[1~1\x1b[4~3", "123"},
    {"CtrlAAndCtrlE", "2\0011\0053", "123"},  // octal escapes: three digits at most
    {"LeftAndRightInApplicationMode", "13\x1bOD\x1bOD\x1bOC2", "123"},
    {"BackspaceAndDelete", "19\17724\x1b[D\x1b[3~", "12"},
    {"CtrlUTakesTheLineBeforeTheCursor", "99\0255", "5"},
    {"CtrlKTakesTheLineAfterTheCursor", "57\x01\x1b[C\x0b", "5"},
    {"CtrlWTakesTheWordBeforeTheCursor", "4 77\x17", "4"},
    {"UnboundKeysLeaveNoCharacters", "7\x1b[15~\x1b[5~\x1b[2~\x1b[1;5D\x1bOP\x1b[24~", "7"},
};
INSTANTIATE_TEST_SUITE_P(AtATerminal, EditingAtATerminal, testing::ValuesIn(kEdits),
                         [](const auto& info) { return std::string(info.param.name); });

// Up walks back through the lines typed before in this run, Down forward again.
TEST(AtATerminal, UpRecallsTheLinesTypedBefore) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  for (const char* task : {"* 2 3\r", "+ 4 5\r"}) {
    session.type(task);
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    session.type("k");
    ASSERT_TRUE(session.wait_for(kAsk));
  }
  session.type("\x1b[A\x1b[A\x1b[A\x1b[B\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  4+5  ist: 9")) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x1b[A\x1b[A\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  2*3  ist: 6")) << session.seen.substr(session.mark);
}

struct SignalCase {
  const char* name;
  bool at_pause;  // else at the first number's prompt, the line editor waiting
  int signal_number;
  const char* keys;  // typed to send it; else sent with kill
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class SignalAtATerminal : public testing::TestWithParam<SignalCase> {};

TEST_P(SignalAtATerminal, EndsTheProgramAndLeavesTheTerminalAsFound) {
  const SignalCase& c = GetParam();
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  if (c.at_pause) {
    session.type("/ 1 3\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    ASSERT_FALSE(echoes_in_lines(session.settings()));
  } else {
    session.type("+\r");
    ASSERT_TRUE(session.wait_for("Geb' die erste Zahl ein: "));
  }
  if (c.keys != nullptr) {
    session.type(c.keys);
  } else {
    kill(session.child, c.signal_number);
  }
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), c.signal_number);
  expect_same_modes(session.settings(), session.found);
  EXPECT_TRUE(session.seen.ends_with(kTerminalGivenBack)) << session.seen.substr(session.mark);
}

const SignalCase kSignals[] = {
    {"CtrlCAtThePause", true, SIGINT, "\x03"},
    {"TerminateAtThePause", true, SIGTERM, nullptr},
    // Ctrl+C right behind the keys typed before it.
    {"CtrlCWhileEditing", false, SIGINT, "12\x03"},
    {"TerminateWhileEditing", false, SIGTERM, nullptr},
    {"HangupWhileEditing", false, SIGHUP, nullptr},
};
INSTANTIATE_TEST_SUITE_P(AtATerminal, SignalAtATerminal, testing::ValuesIn(kSignals),
                         [](const auto& info) { return std::string(info.param.name); });

// Stopped, the terminal is the shell's as found; continued, the program has
// its screen and modes back and shows what it waits for again.
TEST(AtATerminal, StoppedAndContinuedTheWaitIsShownAgain) {
  Session session(environment("xterm", "C"), {.as_job = true});
  ASSERT_TRUE(session.wait_for(kAsk));
  const pid_t job = session.job();
  ASSERT_GT(job, 0);
  session.type("* 2 3\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));

  session.type("\x1a");  // Ctrl+Z
  ASSERT_TRUE(Session::wait_for_stopped(job, true));
  EXPECT_TRUE(session.wait_for(kTerminalGivenBack));
  expect_same_modes(session.settings(), session.found);
  kill(job, SIGCONT);
  ASSERT_TRUE(session.wait_for(kEnterOwnScreen));
  ASSERT_TRUE(session.wait_for(kPausePrompt)) << session.seen.substr(session.mark);
  EXPECT_FALSE(echoes_in_lines(session.settings())) << "continued, the pause takes keys again";
  EXPECT_EQ(session.drain(300ms), "") << "the pause must go on waiting";

  // At a prompt, with part of a line typed.
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1");
  ASSERT_TRUE(session.wait_for("+ 1"));
  session.type("\x1a");
  ASSERT_TRUE(Session::wait_for_stopped(job, true));
  EXPECT_TRUE(session.wait_for(kTerminalGivenBack));
  kill(job, SIGCONT);
  ASSERT_TRUE(session.wait_for(kEnterOwnScreen));
  ASSERT_TRUE(session.wait_for(std::string(kAsk) + "+ 1")) << testing::PrintToString(session.seen);
  session.type(" 2\r");
  EXPECT_TRUE(session.wait_for("1+2  ist: 3")) << session.seen.substr(session.mark);
}

TEST(AtATerminal, PipedInputIsNeitherPausedForNorCleared) {
  Session session(environment("xterm", "C"), {.piped_input = "+ 1 2\n"});
  ASSERT_TRUE(session.wait_for("1+2  ist: 3"));
  EXPECT_EQ(session.wait_for_end(), 0);
  EXPECT_EQ(session.seen.find(kClear), std::string::npos) << session.seen;
}

TEST(AtATerminal, InputEndingInsideACalculationGivesTheTerminalBackBeforeSayingSo) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1\r\x04");
  ASSERT_TRUE(session.wait_for("unvollstaendig!\r\n"));
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  // Why it ended shows on the user's screen, not on the program's own.
  EXPECT_TRUE(session.seen.ends_with(kTerminalGivenBack +
                                     "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.\r\n"))
      << session.seen.substr(session.mark);
}

TEST(AtATerminal, AnIgnoredInterruptStaysIgnoredAtThePause) {
  Session session(environment("xterm", "C"), {.ignore_interrupt = true});
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("/ 1 4\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("\x03");
  EXPECT_EQ(session.drain(300ms), "") << "the pause must go on waiting";
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  EXPECT_EQ(session.wait_for_end(), 0);
}

TEST(AtATerminal, DumbTerminalGetsNoEscapeSequences) {
  Session session(environment("dumb", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1 2\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  EXPECT_EQ(session.wait_for_end(), 0);
  EXPECT_EQ(session.seen.find('\x1b'), std::string::npos);
}

}  // namespace
