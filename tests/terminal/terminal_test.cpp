// Drives the built program in a pseudo-terminal, as a user at a terminal
// would, and checks what the terminal receives and how it is left.
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
// xterm's terminfo entry (smcup and rmcup): the alternate screen, and the
// title saved and restored along with it.
constexpr std::string_view kEnterOwnScreen = "\x1b[?1049h\x1b[22;0;0t";
constexpr std::string_view kLeaveOwnScreen = "\x1b[?1049l\x1b[23;0;0t";
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

  bool wait_for_bytes_read(long at_least, std::chrono::milliseconds limit = patience()) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (bytes_read() < at_least) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
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
std::vector<std::string> environment(const char* term, const char* locale) {
  std::vector<std::string> entries = {std::string("TERM=") + term, std::string("LC_ALL=") + locale,
                                      "PATH=/usr/bin:/bin"};
  if (is_test_locale(locale)) {
    entries.insert(entries.end(),
                   {std::string("LOCPATH=") + TASCHENRECHNER_TEST_LOCALES, "ASAN_OPTIONS=detect_leaks=0"});
  }
  return entries;
}

// Generous for a program that peaks at a few MiB, under an emulator too.
constexpr long kMemoryBoundKib = 64L * 1024;

long peak_memory_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

bool echoes_in_lines(const struct termios& settings) {
  return (settings.c_lflag & ECHO) != 0 && (settings.c_lflag & ICANON) != 0;
}

// Waits until the terminal echoes in lines (or no longer does); whether it
// came to that within `limit`.
bool wait_for_echo(const Session& session, bool echo, std::chrono::milliseconds limit = patience()) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (echoes_in_lines(session.settings()) != echo) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Waits until the terminal reads keys one at a time without echo, as the
// program has it while it waits for a key or a line.
void wait_for_key_modes(const Session& session) { wait_for_echo(session, false); }

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
  struct Key {
    const char* bytes;
    const char* locale;
    const char* term = "xterm";
  };
  // Each key arrives together with the next task typed ahead, which must
  // stay. In Latin-1 é is one byte, though in UTF-8 it would lead three.
  // Without the line editor (TERM=dumb) the next line is read by the
  // terminal's line mode, and still begins with what came with the key.
  for (const Key key : {Key{"\x1b[A", "C.UTF-8"}, Key{"\x1b[15~", "C.UTF-8"}, Key{"\x1bOP", "C.UTF-8"},
                        Key{"\xc3\xbc", "C.UTF-8"}, Key{"\xe2\x82\xac", "C.UTF-8"}, Key{"\xf0\x9f\x98\x80", "C.UTF-8"},
                        Key{"\x1b\xc3\xbc", "C.UTF-8"}, Key{"\xe9", "de_DE.ISO-8859-1"}, Key{"\x1b[A", "C", "dumb"},
                        Key{"\x1b[[A", "C", "linux"}, Key{"\x1b\x1b[[A", "C", "linux"}, Key{"\x1b[2$", "C", "rxvt"}}) {
    SCOPED_TRACE(testing::PrintToString(std::string(key.bytes)) + " in " + key.locale + " at " + key.term);
    if (const std::string missing = missing_locale(key.locale); !missing.empty()) {
      std::cout << "skipped: " << missing << '\n';
      continue;
    }
    Session session(environment(key.term, key.locale));
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("* 6 7\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    session.type(std::string(key.bytes) + "+ 1 2\r");
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

// The program's letters on the screen in the locale's character set, or as
// German writes them without umlauts where the set has none. A letter typed
// is one sign; in the C locale, whose set is ASCII, a UTF-8 keyboard's ü
// reads as unknown characters, not as nothing.
struct LettersCase {
  const char* name;
  const char* locale;
  const char* sign;  // typed, then Enter
  const char* error_line;
  const char* closing_text;
};

void PrintTo(const LettersCase& c, std::ostream* os) { *os << c.name; }

class LettersAtATerminal : public testing::TestWithParam<LettersCase> {};

TEST_P(LettersAtATerminal, ShowAsTheScreenCanShowThem) {
  const LettersCase& c = GetParam();
  if (const std::string missing = missing_locale(c.locale); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  Session session(environment("xterm", c.locale));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type(std::string(c.sign) + "\r1\r2\r");
  ASSERT_TRUE(session.wait_for(std::string(c.error_line) + "\r\n\r\n")) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(c.closing_text)) << session.seen.substr(session.mark);
  EXPECT_EQ(session.seen.find("Fehler!"), session.seen.rfind("Fehler!")) << "one error line only";
}

const LettersCase kLetters[] = {
    {"InUtf8", "C.UTF-8", "\xc3\xbc", "Fehler! Das Rechenzeichen ist ung\xc3\xbcltig!",
     "Um eine erneute Rechenaufgabe zu l\xc3\xb6sen Dr\xc3\xbc"
     "cken Sie"},
    {"InTheCLocale", "C", "\xc3\xbc", "Fehler! Das Rechenzeichen ist ungueltig!",
     "Um eine erneute Rechenaufgabe zu loesen Druecken Sie"},
    {"InACharsetWithoutThem", "ru_RU.KOI8-R", "x", "Fehler! Das Rechenzeichen ist ungueltig!",
     "Um eine erneute Rechenaufgabe zu loesen Druecken Sie"},
};
INSTANTIATE_TEST_SUITE_P(AtATerminal, LettersAtATerminal, testing::ValuesIn(kLetters),
                         [](const auto& info) { return std::string(info.param.name); });

// Keys typed for the first number, edited before the dialog reads the line.
struct EditCase {
  const char* name;
  const char* keys;
  const char* number;      // as the result line shows it
  const char* shown = "";  // on the screen as the keys are typed, where it matters
  const char* locale = "C.UTF-8";
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class EditingAtATerminal : public testing::TestWithParam<EditCase> {};

TEST_P(EditingAtATerminal, TheDialogReadsTheEditedLine) {
  const EditCase& c = GetParam();
  if (const std::string missing = missing_locale(c.locale); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  Session session(environment("xterm", c.locale));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+\r");
  ASSERT_TRUE(session.wait_for("Geb' die erste Zahl ein: "));
  session.type(std::string(c.keys) + "\r");
  ASSERT_TRUE(session.wait_for(c.shown)) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(kThirdPrompt)) << session.seen.substr(session.mark);
  EXPECT_LT(peak_memory_kib(session.child), kMemoryBoundKib);
  session.type("1\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  " + std::string(c.number) + "+1  ist: "))
      << session.seen.substr(session.mark);
}

// One character more than a line holds, as many as the terminal's own line
// mode: the last one is dropped.
const std::string kLineOneTooLong = std::string(4094, '0') + "12";

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
    // F1 at the Linux console, Shift+Insert at rxvt, each right before a key.
    {"KeysOfOtherTerminalsLeaveNoCharacters", "7\x1b[[A8\x1b[2$9", "789"},
    {"AltBAndAltFMoveByWords", "23\033b1\033f4", "1234"},
    {"AltDAndAltBackspaceTakeWords", "1 2 3\033b\033b\033d\033f\033\177", "1"},
    // libedit's own command line (Alt+X) once crashed on a quote, and its
    // repeat count (Alt+digits) filled memory: neither can be reached.
    {"AltXOpensNoCommandLine", "\033x\"\0257", "7"},
    {"AltDigitsRepeatNothing", "\03335", "5"},
    {"CtrlRSearchesNothing", "5\0226", "56"},
    {"ALineHoldsWhatTheTerminalsLineModeHolds", kLineOneTooLong.c_str(), "1"},
    // In UTF-8 ü is one character, shown as typed and taken back by one Backspace.
    {"ALetterBeyondAsciiIsOneCharacter", "1\xc3\xbc\1772", "12", "1\xc3\xbc"},
    // In Latin-1 every byte is a letter, though é would lead three in UTF-8.
    {"InLatin1EveryByteIsALetter", "1\xe9\xb0\177\1772", "12", "", "de_DE.ISO-8859-1"},
    // Alt+ü is unbound: none of its bytes lands in the line.
    {"AltWithALetterBeyondAsciiDoesNothing", "1\033\303\2742", "12"},
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
  // Lines without an answer are not kept: they do not stand in Up's way.
  session.type("\r \r\x1b[A\x1b[A\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  2*3  ist: 6")) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  // Sixty lines more, typed ahead with the keys for their pauses: Up still
  // reaches the lines before them (the history holds 500).
  std::string tasks;
  for (int n = 1; n <= 60; ++n) tasks += "+ 1 " + std::to_string(n) + "\rk";
  session.type(tasks);
  ASSERT_TRUE(session.wait_for("1+60  ist: 61")) << session.seen.substr(session.mark);
  ASSERT_TRUE(session.wait_for(kAsk));
  std::string ups;
  for (int n = 1; n <= 62; ++n) ups += "\x1b[A";
  session.type(ups + "\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  4+5  ist: 9")) << session.seen.substr(session.mark);
}

// After the terminal narrows, the editor wraps the line at the new width
// (and marks each wrap with a blank and a backspace), also for keys that
// were read before the resize: they are typed behind Ctrl+S, so that the
// program, having read them all, waits on its first echo while the
// terminal narrows.
TEST(AtATerminal, TheEditorWrapsAtTheNewWidthAfterAResize) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  const long read_before = session.bytes_read();
  const std::string keys(70, '1');
  session.type("\x13" + keys);
  ASSERT_TRUE(session.wait_for_bytes_read(read_before + static_cast<long>(keys.size())));
  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 40;
  ioctl(session.master, TIOCSWINSZ, &size);
  session.type("\x11");
  EXPECT_TRUE(session.wait_for(std::string(40, '1') + " \b"))
      << testing::PrintToString(session.seen.substr(session.mark));
}

// Without the line editor (TERM=dumb) the terminal's own line mode reads:
// Ctrl+D after "+ 1" hands that on, a second one ends the input, inside a
// calculation.
TEST(AtATerminal, InputEndingInsideACalculationAtADumbTerminal) {
  Session session(environment("dumb", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1\x04\x04");
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  expect_same_modes(session.settings(), session.found);
}

// Standard input that cannot be read ends the program with status 2 at its
// first prompt, without waiting for a key, once the terminal is given back:
// its modes, the user's screen and the title; the cause is the system's own.
struct ReadFailureCase {
  const char* name;
  Start start;
  std::string ending;  // the last bytes the terminal receives
};

void PrintTo(const ReadFailureCase& c, std::ostream* os) { *os << c.name; }

class ReadFailureAtATerminal : public testing::TestWithParam<ReadFailureCase> {};

TEST_P(ReadFailureAtATerminal, GivesTheTerminalBackFirst) {
  const ReadFailureCase& c = GetParam();
  Session session(environment("xterm", "C"), c.start);
  ASSERT_TRUE(session.wait_for(kAsk));
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 2);
  expect_same_modes(session.settings(), session.found);
  EXPECT_TRUE(session.seen.ends_with(c.ending)) << testing::PrintToString(session.seen);
}

const std::string kReadFailed = "taschenrechner: Die Eingabe kann nicht gelesen werden: ";
const ReadFailureCase kReadFailures[] = {
    {"TerminalOpenedForWritingOnly",
     {.input_unreadable = true},
     kTerminalGivenBack + kReadFailed + "Bad file descriptor\r\n"},
    // Not the program's own descriptors, which must not take its number.
    {"InputClosed", {.input_closed = true}, std::string(kRestoreTitle) + kReadFailed + "Bad file descriptor\r\n"},
};
INSTANTIATE_TEST_SUITE_P(AtATerminal, ReadFailureAtATerminal, testing::ValuesIn(kReadFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A broken UTF-8 sequence right before Enter is one unknown character, and
// the Enter that broke it still ends the line.
TEST(AtATerminal, EnterAfterABrokenSequenceEndsTheLine) {
  Session session(environment("xterm", "C.UTF-8"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\xc3\r");
  EXPECT_TRUE(session.wait_for("Geb' die erste Zahl ein: ")) << session.seen.substr(session.mark);
}

// A paste of any length fills one line, as long as the terminal's own line
// mode allows, and no more: the program stays quick and small.
TEST(AtATerminal, AHugePasteFillsOneLineAndNoMore) {
  Session session(environment("xterm", "C.UTF-8"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+\r");
  ASSERT_TRUE(session.wait_for("Geb' die erste Zahl ein: "));
  // Had the 7 reached the line, it would be the number.
  std::thread paste([&session] { session.type(std::string(1 << 20, '0') + "7\r"); });
  const bool read = session.wait_for(kThirdPrompt, 120000ms);
  paste.join();
  ASSERT_TRUE(read);
  EXPECT_LT(peak_memory_kib(session.child), kMemoryBoundKib);
  session.type("2\r");
  EXPECT_TRUE(session.wait_for("Das Ergebnis der Rechenaufgabe  0+2  ist: 2")) << session.seen.substr(session.mark);
}

// Where the program's output goes while the signal comes.
enum class Output : char {
  shown,    // to the terminal
  stopped,  // to the terminal, stopped with Ctrl+S and started again with
            // Ctrl+Q only once the modes are back
  piped,    // into a pipe, as with `taschenrechner | cat`
};

struct SignalCase {
  const char* name;
  bool at_pause;  // else at the first number's prompt, the line editor waiting
  Output output;
  int signal_number;
  const char* keys;  // typed to send it; else sent with kill
  const char* term = "xterm";
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class SignalAtATerminal : public testing::TestWithParam<SignalCase> {};

TEST_P(SignalAtATerminal, EndsTheProgramAndLeavesTheTerminalAsFound) {
  const SignalCase& c = GetParam();
  Session session(environment(c.term, "C"), {.output_piped = c.output == Output::piped});
  if (c.output == Output::piped) {
    // The prompts go into the pipe: the pause is known by its modes.
    session.type("/ 1 3\n");
    ASSERT_TRUE(wait_for_echo(session, false));
  } else if (c.at_pause) {
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("/ 1 3\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    ASSERT_FALSE(echoes_in_lines(session.settings()));
  } else {
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("+\r");
    ASSERT_TRUE(session.wait_for("Geb' die erste Zahl ein: "));
  }
  if (c.output == Output::stopped) {
    session.type("\x13");
    ASSERT_TRUE(session.wait_for_output_stopped());
  }
  if (c.keys != nullptr) {
    session.type(c.keys);
  } else {
    kill(session.child, c.signal_number);
  }
  if (c.output == Output::stopped) {
    // The modes come back before anything is written, which waits for Ctrl+Q.
    EXPECT_TRUE(wait_for_echo(session, true, 10000ms)) << "the modes wait for the output";
    session.type("\x11");
  }
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), c.signal_number);
  expect_same_modes(session.settings(), session.found);
  // qemu says on the terminal that its program ended by a crash signal.
  std::string_view seen = session.seen;
  if (kProgramEmulated) {
    seen = seen.substr(0, seen.rfind("qemu: "));
  }
  if (std::string_view(c.term) != "dumb" && c.output != Output::piped) {
    EXPECT_TRUE(seen.ends_with(kTerminalGivenBack)) << session.seen.substr(session.mark);
  }
}

const SignalCase kSignals[] = {
    {"CtrlCAtThePause", true, Output::shown, SIGINT, "\x03"},
    {"TerminateAtThePause", true, Output::shown, SIGTERM, nullptr},
    // Ctrl+C right behind the keys typed before it.
    {"CtrlCWhileEditing", false, Output::shown, SIGINT, "12\x03"},
    {"TerminateWhileEditing", false, Output::shown, SIGTERM, nullptr},
    {"HangupWhileEditing", false, Output::shown, SIGHUP, nullptr},
    // A crash, and std::terminate (which aborts), give the terminal back too.
    {"SegmentationFaultWhileEditing", false, Output::shown, SIGSEGV, nullptr},
    {"AbortAtThePause", true, Output::shown, SIGABRT, nullptr},
    // Without escapes the modes are still the program's to put back.
    {"CtrlCAtThePauseOfADumbTerminal", true, Output::shown, SIGINT, "\x03", "dumb"},
    {"CtrlBackslashWhileEditing", false, Output::shown, SIGQUIT, "12\x1c"},
    {"TerminateWithOutputStopped", true, Output::stopped, SIGTERM, nullptr},
    // Ctrl+C at the keyboard starts the output again, as the terminal does.
    {"CtrlCWithOutputStopped", true, Output::stopped, SIGINT, "\x03"},
    // The modes are those of standard input, the terminal.
    {"CtrlCAtThePauseWithOutputPiped", true, Output::piped, SIGINT, "\x03"},
};
// The rows above, and every other signal whose default ends a process,
// sent while the line editor waits: the real-time ones too, where the
// program runs natively (qemu keeps some of them for itself).
std::vector<SignalCase> every_ending_signal() {
  static std::vector<std::string> names;
  std::vector<SignalCase> cases(std::begin(kSignals), std::end(kSignals));
  std::vector<int> others = {SIGTRAP,   SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ,
                             SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,  SIGBUS,  SIGFPE,  SIGILL};
#ifdef SIGSTKFLT
  others.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
  others.push_back(SIGPWR);
#endif
  if (!kProgramEmulated) {
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) others.push_back(signal_number);
  }
  names.reserve(others.size());
  for (const int signal_number : others) {
    const char* abbreviation = sigabbrev_np(signal_number);
    names.push_back(abbreviation != nullptr
                        ? std::string("SIG") + abbreviation + "WhileEditing"
                        : "RealTimeSignal" + std::to_string(signal_number - SIGRTMIN) + "WhileEditing");
    cases.push_back({names.back().c_str(), false, Output::shown, signal_number, nullptr});
  }
  return cases;
}
INSTANTIATE_TEST_SUITE_P(AtATerminal, SignalAtATerminal, testing::ValuesIn(every_ending_signal()),
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
  const std::size_t resumed = session.mark;
  ASSERT_TRUE(session.wait_for(kPausePrompt)) << session.seen.substr(session.mark);
  // At the top of the empty screen, where the resume text put the cursor.
  const std::string redrawn = session.seen.substr(resumed, session.mark - resumed);
  EXPECT_EQ(redrawn.find('\n'), std::string::npos) << testing::PrintToString(redrawn);
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

// --help reads nothing: it loads no line editor (the dynamic loader's log of
// the files it opens has none) and opens no pseudo-terminal for one.
TEST(AtATerminal, HelpLoadsNoLineEditor) {
  if (kProgramEmulated) GTEST_SKIP() << "the loader's log would be the emulated loader's";
  std::array<char, 40> folder{"/tmp/taschenrechner-loader-XXXXXX"};
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string log = std::string(folder.data()) + "/opened";
  std::vector<std::string> entries = environment("xterm", "C");
  entries.insert(entries.end(), {"LD_DEBUG=files", "LD_DEBUG_OUTPUT=" + log});
  Session session(entries, {.argument = "--help"});
  const pid_t program = session.child;
  ASSERT_TRUE(session.wait_for("Aufruf: taschenrechner"));
  EXPECT_EQ(session.wait_for_end(), 0);
  std::ifstream log_file(log + "." + std::to_string(program));
  const std::string opened(std::istreambuf_iterator<char>(log_file), {});
  std::filesystem::remove_all(folder.data());
  EXPECT_NE(opened.find("libc.so"), std::string::npos) << "no log of the loader";
  EXPECT_EQ(opened.find("libedit"), std::string::npos) << opened;
  EXPECT_EQ(session.seen.find('\x1b'), std::string::npos) << "the help alone";
}

// At an interactive shell with job control, the shell's prompt.
constexpr std::string_view kShellPrompt = "sh> ";

// Runs `command` at the shell and returns all the terminal got until the
// shell has run it: the typed line's echo, the command's output, and the
// shell's lines about its jobs. The end is known by a word that the
// shell writes but the echo does not show.
std::string run_at_shell(Session& session, const std::string& command) {
  static int runs = 0;
  const std::string end = "END" + std::to_string(++runs) + "\r\n";
  const std::size_t start = session.seen.size();
  session.type(command + "; echo E''" + end.substr(1, end.size() - 3) + "\r");
  if (!session.wait_for(end)) return "no end of " + command;
  return session.seen.substr(start, session.mark - start);
}

// The shell's terminal modes as `stty -g` writes them, on the line before
// the end (behind the prompt, where the line was typed ahead).
std::string shell_modes(Session& session) {
  std::string output = run_at_shell(session, "stty -g");
  const std::size_t end = output.rfind("\r\n", output.size() - 3);
  if (end == std::string::npos) return "no modes from stty: " + output;
  output.resize(end);
  return output.substr(output.find_last_of(" \n") + 1);
}

// The pause passed, or the task "+ 1" typed so far completed with " 2" and
// then the pause, and the program ended with Ctrl+D: back at the shell,
// with its modes as found.
void pause_passed_and_end(Session& session, const std::string& modes) {
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
}

void complete_task_and_end(Session& session, const std::string& modes) {
  session.type(" 2\r");
  ASSERT_TRUE(session.wait_for("1+2  ist: 3"));
  pause_passed_and_end(session, modes);
}

// The program as a job of dash, which gives it the terminal in the
// foreground only: stopped with Ctrl+Z and continued with bg, it leaves the
// terminal to the shell, its modes included, and writes nothing; fg gives
// it its screen back with the line typed so far. Started with &, it stops
// before it touches the terminal, and starts once fg puts it in the
// foreground.
TEST(AtATerminal, SharesTheTerminalAsAJobOfAShell) {
  std::vector<std::string> entries = environment("xterm", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  std::string command;
  for (const char* part : kProgramCommand) {
    if (part != nullptr) command.append(part).append(" ");
  }

  session.type(command + "\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1");
  ASSERT_TRUE(session.wait_for("+ 1"));
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
  session.type("bg\r");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t in_background = session.mark;
  EXPECT_EQ(shell_modes(session), modes);
  EXPECT_EQ(session.seen.find('\x1b', in_background), std::string::npos) << session.seen.substr(in_background);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kEnterOwnScreen)) << testing::PrintToString(session.seen.substr(in_background));
  ASSERT_TRUE(session.wait_for(std::string(kAsk) + "+ 1")) << session.seen.substr(session.mark);
  ASSERT_NO_FATAL_FAILURE(complete_task_and_end(session, modes));

  session.type(command + "&\r");
  const std::size_t started = session.seen.size();
  bool stopped = false;
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (!stopped && std::chrono::steady_clock::now() < deadline) {
    stopped = run_at_shell(session, "jobs").find("Stopped") != std::string::npos;
  }
  ASSERT_TRUE(stopped) << session.seen.substr(started);
  EXPECT_EQ(session.seen.find('\x1b', started), std::string::npos) << session.seen.substr(started);
  EXPECT_EQ(shell_modes(session), modes);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kEnterOwnScreen));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
  session.type("exit\r");
  EXPECT_EQ(session.wait_for_end(), 0);
}

TEST(AtATerminal, PipedInputIsNeitherPausedForNorCleared) {
  Session session(environment("xterm", "C"), {.piped_input = "+ 1 2\n"});
  ASSERT_TRUE(session.wait_for("1+2  ist: 3"));
  EXPECT_EQ(session.wait_for_end(), 0);
  EXPECT_EQ(session.seen.find(kClear), std::string::npos) << session.seen;
  // The screen is a terminal all the same: the window shows the title.
  EXPECT_TRUE(session.seen.starts_with(std::string(kSaveTitle) + std::string(kSetTitle))) << session.seen;
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

// What each terminal gets from its terminfo entry, and nothing else: a
// screen of the program's own and the title where it has them, the
// clearing between passes, and the user's title and screen back at the
// end. tmux's entry has a status line for the title; GNU screen takes
// xterm's title sequences though its entry does not say so. The Linux
// console has neither an own screen nor a title, and a terminal the
// database does not know is a dumb one, with no library's message.
struct SequencesCase {
  const char* name;
  const char* term;
  std::string start;      // before the first prompt
  std::string next_pass;  // after the pause's key, before the next prompt
  std::string end;
};

void PrintTo(const SequencesCase& c, std::ostream* os) { *os << c.name; }

class TerminalSequences : public testing::TestWithParam<SequencesCase> {};

TEST_P(TerminalSequences, AreOnlyThoseItHas) {
  const SequencesCase& c = GetParam();
  Session session(environment(c.term, "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1 2\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  EXPECT_EQ(session.wait_for_end(), 0);
  const std::string& seen = session.seen;
  ASSERT_TRUE(seen.starts_with(c.start + std::string(kAsk))) << testing::PrintToString(seen);
  ASSERT_TRUE(seen.ends_with(c.end)) << testing::PrintToString(seen);
  std::string between = seen.substr(c.start.size(), seen.size() - c.start.size() - c.end.size());
  const std::size_t next_pass = between.find(std::string(kPausePrompt) + "\r\n" + c.next_pass + std::string(kAsk));
  ASSERT_NE(next_pass, std::string::npos) << testing::PrintToString(seen);
  between.erase(next_pass + kPausePrompt.size() + 2, c.next_pass.size());
  EXPECT_EQ(between.find('\x1b'), std::string::npos) << testing::PrintToString(seen);
  EXPECT_EQ(seen.find("terminal type"), std::string::npos) << seen;
}

const std::string kOwnScreenAndTitle = "\x1b[?1049h\x1b[H" + std::string(kSaveTitle) + std::string(kSetTitle);
const std::string kUsersTitleAndScreen = std::string(kRestoreTitle) + "\x1b[?1049l";
const SequencesCase kSequences[] = {
    {"Dumb", "dumb", "", "", ""},
    {"UnknownToTheDatabase", "vt999", "", "", ""},
    {"LinuxConsole", "linux", "", "\x1b[H\x1b[J", ""},
    {"Tmux", "tmux", kOwnScreenAndTitle, "\x1b[H\x1b[J" + std::string(kSetTitle), kUsersTitleAndScreen},
    {"GnuScreen", "screen", kOwnScreenAndTitle, "\x1b[H\x1b[J" + std::string(kSetTitle), kUsersTitleAndScreen},
};
INSTANTIATE_TEST_SUITE_P(AtATerminal, TerminalSequences, testing::ValuesIn(kSequences),
                         [](const auto& info) { return std::string(info.param.name); });

// Random keys of every kind a person can type or paste, a line end now and
// then; no key that sends a signal, ends the input or stops the output
// (Ctrl+C, Ctrl+\, Ctrl+Z, Ctrl+D, Ctrl+S, Ctrl+Q): those come separately.
std::string random_keys(std::mt19937& random, int count) {
  static constexpr std::string_view kPrintable = "0123456789+-*/.,e abcxyzABCXYZ!\"'()[]{}~";
  static constexpr std::string_view kControls =
      "\x01\x02\x05\x06\x07\x08\x0b\x0c\x0e\x10\x12\x14\x15\x16\x17\x18\x19\x7f";
  static constexpr std::string_view kSequences[] = {"\x1b[A",    "\x1b[B", "\x1b[C",  "\x1b[D",   "\x1bOA",    "\x1bOH",
                                                    "\x1b[H",    "\x1b[F", "\x1b[3~", "\x1b[15~", "\x1b[1;5D", "\x1bOP",
                                                    "\x1b[200~", "\x1b[",  "\x1bO",   "\x1b[12;"};
  static constexpr std::string_view kUtf8[] = {"\xc3\xbc", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
                                               "\xc3",     "\xe2\x82",     "\xff"};
  std::string keys;
  auto pick = [&random](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random); };
  for (int i = 0; i < count; ++i) {
    switch (pick(10)) {
      case 0: keys += kControls[pick(kControls.size())]; break;
      case 1: keys += kSequences[pick(std::size(kSequences))]; break;
      case 2: keys += std::string("\x1b") + kPrintable[pick(kPrintable.size())]; break;  // Alt+key
      case 3: keys += kUtf8[pick(std::size(kUtf8))]; break;
      case 4: keys += '\r'; break;
      case 5:
        if (pick(20) == 0) {  // a long paste
          keys += std::string(1000 + pick(6000), kPrintable[pick(10)]);
          break;
        }
        [[fallthrough]];
      default: keys += kPrintable[pick(kPrintable.size())]; break;
    }
  }
  return keys;
}

// Until `limit`: the index of whichever text arrives first after the mark,
// with the mark moved past it; -1 if none does.
int wait_for_any(Session& session, const std::vector<std::string_view>& texts,
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
std::string why_not_computing(Session& session) {
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

// The storm itself, typed from a second thread while this one reads all the
// program writes: keys in chunks, and between them a new window size or a
// stop and a continue.
void storm(Session& session, pid_t job, unsigned seed) {
  std::mt19937 random(seed);
  for (int chunk = 0; chunk < 12; ++chunk) {
    session.type(random_keys(random, 40));
    switch (random() % 4) {
      case 0: {
        struct winsize size {};
        size.ws_row = static_cast<unsigned short>(5 + random() % 60);
        size.ws_col = static_cast<unsigned short>(10 + random() % 200);
        ioctl(session.master, TIOCSWINSZ, &size);
        break;
      }
      case 1:
        kill(job, SIGTSTP);
        if (Session::wait_for_stopped(job, true)) {
          kill(job, SIGCONT);
          Session::wait_for_stopped(job, false);
          // Keys typed before the program has its modes back would be the
          // terminal's to echo and edit.
          wait_for_key_modes(session);
        }
        break;
      default: break;
    }
  }
}

class KeyStorm : public testing::TestWithParam<unsigned> {};

TEST_P(KeyStorm, LeavesTheProgramWorkingAndTheTerminalAsFound) {
  const unsigned seed = GetParam();
  Session session(environment("xterm", seed % 2 == 0 ? "C.UTF-8" : "C"), {.as_job = true});
  ASSERT_TRUE(session.wait_for(kAsk));
  const pid_t job = session.job();
  ASSERT_GT(job, 0);

  std::atomic<bool> typed = false;
  std::thread typist([&] {
    storm(session, job, seed);
    typed = true;
  });
  while (!typed) {
    session.read_some(100ms);
  }
  typist.join();
  const std::string why = why_not_computing(session);
  const std::size_t marker = session.seen.rfind("#sync#");
  ASSERT_EQ(why, "") << "seed " << seed << ": "
                     << testing::PrintToString(
                            session.seen.substr(marker == std::string::npos || marker < 1000 ? 0 : marker - 1000));
  EXPECT_LT(peak_memory_kib(job), kMemoryBoundKib);

  // Ended as asked: at the pause a key, then Ctrl+D at the sign, or a signal.
  const auto ending = static_cast<Ending>(seed % 4);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  int expected_signal = 0;
  switch (ending) {
    case Ending::ctrl_d: session.type("\x04"); break;
    case Ending::interrupt:
      session.type("\x03");
      expected_signal = SIGINT;
      break;
    case Ending::terminate:
      kill(job, SIGTERM);
      expected_signal = SIGTERM;
      break;
    case Ending::hangup:
      kill(job, SIGHUP);
      expected_signal = SIGHUP;
      break;
  }
  const int status = session.wait_for_end();
  if (expected_signal == 0) {
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
  } else {
    // The stand-in shell ends as its job did.
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), expected_signal);
  }
  expect_same_modes(session.settings(), session.found);
  EXPECT_TRUE(session.seen.ends_with(kTerminalGivenBack)) << session.seen.substr(session.mark);
}

// A few seeds in every test run; the variable named, set to FIRST-LAST (or
// one seed), runs those instead (TASCHENRECHNER_STORM_SEEDS for the key
// storm, tests/terminal/key_storm.sh; TASCHENRECHNER_JOB_STORM_SEEDS).
std::vector<unsigned> seeds(const char* variable, unsigned last) {
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
std::vector<unsigned> storm_seeds() { return seeds("TASCHENRECHNER_STORM_SEEDS", 4); }
INSTANTIATE_TEST_SUITE_P(AtATerminal, KeyStorm, testing::ValuesIn(storm_seeds()));

}  // namespace

namespace {

// Every control byte, alone and after an Escape, and Escapes before whole
// sequences, as a key at a prompt (before "+ 1 2") and as the pause's key.
// Those bound to something that does nothing on an empty line do nothing
// visible; every other one does nothing at all: no character in the line,
// no byte of it left for the next key. Left out: the keys the terminal
// itself takes (Ctrl+C, Ctrl+Z, Ctrl+\ and Ctrl+S, Ctrl+Q), Ctrl+D (end
// of input on an empty line), and a lone Escape at a prompt, known only by
// the silence after it.
std::vector<std::string> keys_that_do_nothing_here() {
  const std::string taken_by_terminal = "\x03\x1a\x1c\x13\x11";
  std::vector<std::string> keys;
  for (int byte = 0; byte <= 0x20; ++byte) {
    const char c = static_cast<char>(byte == 0x20 ? 0x7f : byte);
    if (taken_by_terminal.find(c) != std::string::npos) continue;
    if (c != '\x04' && c != '\x1b') keys.emplace_back(1, c);
    if (c != '\x1b') keys.push_back(std::string("\x1b") + c);
  }
  // And sequences broken off by the next key's Escape, whole in one burst.
  for (const char* sequence : {"\x1b\x1b[A", "\x1b\x1b[1;5D", "\x1b\x1bOP", "\x1b\x1b[15~", "\x1b\x1b\x1b[B",
                               "\x1bO\x1b[15~", "\x1b[\x1b[A", "\x1b[1\x1b[3~"}) {
    keys.emplace_back(sequence);
  }
  return keys;
}

TEST(AtATerminal, EveryControlKeyDoesNothingBeyondItsBinding) {
  for (const char* locale : {"C", "C.UTF-8"}) {
    Session session(environment("xterm", locale));
    ASSERT_TRUE(session.wait_for(kAsk));
    for (const std::string& key : keys_that_do_nothing_here()) {
      SCOPED_TRACE(testing::PrintToString(key) + " in " + locale);
      session.type(key + "+ 1 2\r");
      ASSERT_TRUE(session.wait_for("ist: ")) << session.seen.substr(session.mark);
      ASSERT_TRUE(session.wait_for("\r\n"));
      const std::string result = session.seen.substr(session.seen.rfind("Das Ergebnis"));
      ASSERT_TRUE(result.starts_with("Das Ergebnis der Rechenaufgabe  1+2  ist: 3\r\n")) << result;
      ASSERT_TRUE(session.wait_for(kPausePrompt));
      session.type(key);
      ASSERT_TRUE(session.wait_for(kAsk));
    }
    session.type("\x04");
    EXPECT_EQ(session.wait_for_end(), 0);
  }
}

// The program as a job of an interactive dash, started in every state a
// shell or a parent can give it: in the foreground or with &, reading the
// terminal or piped tasks, and with the job-control signals ignored or
// blocked (env --ignore-signal, --block-signal). Each row walks what a user
// does (fg, a task, Ctrl+Z, bg, fg, Ctrl+D) and what the kernel allows from
// there: a program that cannot stop (SIGTTIN ignored or blocked, its read
// from the background then fails with EIO) ends with status 2 and the line
// naming that, rather than spin or touch the terminal. Whatever the row,
// nothing reaches the terminal from the background, and the shell's modes
// are the same at every prompt as at the start.
enum class JobEnd {
  computes,        // every step, ended by Ctrl+D with status 0
  fails_at_start,  // started with &, ends at once with EIO (status 2)
  fails_after_bg,  // after Ctrl+Z and bg, ends with EIO (status 2)
};

struct JobCase {
  const char* name;
  const char* env;  // arguments for env(1) before the program, or ""
  bool piped;       // tasks from a pipe, output to the terminal
  bool background;  // started with &
  JobEnd end;
  const char* term = "xterm";  // dumb: no sequences to tell what was written
};

void PrintTo(const JobCase& c, std::ostream* os) { *os << c.name; }

class JobStates : public testing::TestWithParam<JobCase> {};

std::string program_line() {
  std::string command;
  for (const char* part : kProgramCommand) {
    if (part != nullptr) command.append(part).append(" ");
  }
  return command;
}

// The shell's jobs report the program stopped.
bool wait_for_job_stopped(Session& session) {
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
std::string job_status(Session& session, bool in_background, std::size_t since = 0) {
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

TEST_P(JobStates, NothingFromTheBackgroundAndTheShellsModesKept) {
  const JobCase& c = GetParam();
  std::vector<std::string> entries = environment(c.term, "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  std::string command = (*c.env != '\0' ? std::string("env ") + c.env + " " : std::string()) + program_line();
  if (c.piped) command = "printf '+ 1 2\\n' | " + command;
  const std::size_t started = session.seen.size();
  session.type(command + (c.background ? "&\r" : "\r"));

  if (c.end == JobEnd::fails_at_start) {
    ASSERT_TRUE(session.wait_for(c.piped ? "Die Ausgabe kann nicht geschrieben werden: Input/output error\r\n"
                                         : "Die Eingabe kann nicht gelesen werden: Input/output error\r\n"))
        << testing::PrintToString(session.seen.substr(started));
    EXPECT_EQ(job_status(session, true, started), "status=2");
    EXPECT_EQ(session.seen.find('\x1b', started), std::string::npos) << session.seen.substr(started);
    EXPECT_EQ(session.seen.find("Geb'", started), std::string::npos) << session.seen.substr(started);
    EXPECT_EQ(shell_modes(session), modes);
    return;
  }
  if (c.background) {
    ASSERT_TRUE(wait_for_job_stopped(session)) << session.seen.substr(started);
    EXPECT_EQ(session.seen.find('\x1b', started), std::string::npos) << session.seen.substr(started);
    EXPECT_EQ(session.seen.find("Geb'", started), std::string::npos) << session.seen.substr(started);
    EXPECT_EQ(shell_modes(session), modes);
    session.type("fg\r");
  }
  if (c.piped) {
    ASSERT_TRUE(session.wait_for("1+2  ist: 3")) << session.seen.substr(started);
    EXPECT_EQ(job_status(session, false), "status=0");
    EXPECT_EQ(shell_modes(session), modes);
    return;
  }
  ASSERT_TRUE(session.wait_for(kAsk)) << session.seen.substr(started);
  const pid_t job = session.job();
  session.type("+ 1 2\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("* 3");
  ASSERT_TRUE(session.wait_for("* 3"));
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
  session.type("bg\r");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t in_background = session.mark;
  if (c.end == JobEnd::fails_after_bg) {
    EXPECT_EQ(job_status(session, true, in_background), "status=2");
    EXPECT_NE(session.seen.find("Die Eingabe kann nicht gelesen werden: Input/output error", in_background),
              std::string::npos)
        << session.seen.substr(in_background);
    EXPECT_EQ(session.seen.find('\x1b', in_background), std::string::npos) << session.seen.substr(in_background);
    EXPECT_EQ(shell_modes(session), modes);
    return;
  }
  // Stopped again as soon as it would read; nothing written meanwhile.
  ASSERT_TRUE(Session::wait_for_stopped(job, true));
  EXPECT_EQ(shell_modes(session), modes);
  EXPECT_EQ(session.seen.find('\x1b', in_background), std::string::npos) << session.seen.substr(in_background);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(std::string(kAsk) + "* 3")) << session.seen.substr(in_background);
  wait_for_key_modes(session);
  session.type(" 4\r");
  ASSERT_TRUE(session.wait_for("3*4  ist: 12\r\n")) << session.seen.substr(in_background);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(job_status(session, false), "status=0");
  EXPECT_EQ(shell_modes(session), modes);
}

std::vector<JobCase> job_cases() {
  struct Setting {
    const char* name;
    const char* env;
    bool stops_for_input;  // a read from the background stops the program
  };
  const Setting settings[] = {
      {"Defaults", "", true},
      {"TtinIgnored", "--ignore-signal=TTIN", false},
      {"TtinBlocked", "--block-signal=TTIN", false},
      {"TtouIgnored", "--ignore-signal=TTOU", true},
      {"TtouBlocked", "--block-signal=TTOU", true},
      {"ContIgnored", "--ignore-signal=CONT", true},
      {"ContBlocked", "--block-signal=CONT", true},
      {"HupIgnored", "--ignore-signal=HUP", true},
  };
  static std::vector<std::string> names;
  names.reserve(std::size(settings) * 6);
  std::vector<JobCase> cases;
  for (const Setting& setting : settings) {
    for (const bool piped : {false, true}) {
      for (const bool background : {false, true}) {
        JobEnd end = JobEnd::computes;
        if (!setting.stops_for_input && background) end = JobEnd::fails_at_start;
        if (!setting.stops_for_input && !background && !piped) end = JobEnd::fails_after_bg;
        // With tasks piped to a terminal that takes no sequences the
        // program has no screen to set up, and must still not write from the
        // background.
        for (const char* term : piped ? std::vector<const char*>{"xterm", "dumb"} : std::vector<const char*>{"xterm"}) {
          names.push_back(std::string(setting.name) + (piped ? "Piped" : "") + (background ? "InTheBackground" : "") +
                          (std::string_view(term) == "dumb" ? "AtADumbTerminal" : ""));
          cases.push_back({names.back().c_str(), setting.env, piped, background, end, term});
        }
      }
    }
  }
  return cases;
}
INSTANTIATE_TEST_SUITE_P(AtATerminal, JobStates, testing::ValuesIn(job_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A job whose shell has gone (here the `dash -c` that started it with &):
// the kernel discards its stops, and its reads from the background fail.
// It ends at once with the line naming that, writes nothing else to the
// terminal and leaves the modes alone; it does not wait for ever in a loop.
TEST(AtATerminal, AnOrphanedJobEndsWithoutTouchingTheTerminal) {
  std::vector<std::string> entries = environment("xterm", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  const std::size_t started = session.seen.size();
  // Started once the `dash -c` has gone, so that it never was in the foreground.
  session.type("dash -c '(while kill -0 $$ 2>/dev/null; do :; done; exec " + program_line() + "</dev/tty 2>&1) &'\r");
  ASSERT_TRUE(session.wait_for("Die Eingabe kann nicht gelesen werden: Input/output error\r\n"))
      << testing::PrintToString(session.seen.substr(started));
  EXPECT_EQ(session.seen.find('\x1b', started), std::string::npos) << session.seen.substr(started);
  EXPECT_EQ(session.seen.find("Geb'", started), std::string::npos) << session.seen.substr(started);
  EXPECT_EQ(shell_modes(session), modes);
}

// Leading its own session (under script or a service manager), the
// program cannot be stopped: Ctrl+Z does nothing, and the screen with the
// result stays as it is.
TEST(AtATerminal, WithoutJobControlCtrlZLeavesTheScreenAlone) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 1 2\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  const std::size_t at_pause = session.mark;
  session.type("\x1a");
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  EXPECT_EQ(session.seen.find(kLeaveOwnScreen, at_pause), std::string::npos)
      << testing::PrintToString(session.seen.substr(at_pause));
  session.type("\x04");
  EXPECT_EQ(session.wait_for_end(), 0);
}

// Keys the program has read but not yet taken when Ctrl+Z comes (part of
// a long paste) wait until fg: after bg nothing is computed and nothing
// written. What the program had not read yet is the shell's (it reads it
// as commands, as it would anyone's); after fg the program goes on.
TEST(AtATerminal, KeysReadAheadWaitForTheForeground) {
  std::vector<std::string> entries = environment("xterm", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  session.type(program_line() + "\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  std::string paste;
  constexpr int kTasks = 3000;
  for (int task = 1; task <= kTasks; ++task) paste += "+ " + std::to_string(task) + " 0\rk";
  std::thread typist([&session, &paste] { session.type(paste + "\r\x1a"); });
  while (session.read_some(patience()) && session.seen.find(kShellPrompt, session.mark) == std::string::npos) {
  }
  typist.join();
  ASSERT_TRUE(session.wait_for(kShellPrompt)) << session.seen.substr(session.mark);
  session.type("bg\r");
  ASSERT_TRUE(session.wait_for("bg\r\n"));
  const std::size_t in_background = session.mark;
  // Continued, and stopped again by its wish to read (no longer by Ctrl+Z).
  bool stopped_for_input = false;
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (!stopped_for_input && std::chrono::steady_clock::now() < deadline) {
    stopped_for_input = run_at_shell(session, "jobs").find("Stopped (tty input)") != std::string::npos;
  }
  ASSERT_TRUE(stopped_for_input) << session.seen.substr(in_background);
  EXPECT_EQ(session.seen.find("ist: ", in_background), std::string::npos) << session.seen.substr(in_background, 300);
  EXPECT_EQ(shell_modes(session), modes);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  const std::string why = why_not_computing(session);
  ASSERT_EQ(why, "") << session.seen.substr(session.seen.size() - 300);
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), modes);
}

}  // namespace

namespace {

// Where the program stands in a job-control storm, as the shell sees it.
enum class JobState { foreground, stopped, background };

// The program's process state letter from /proc ('T' stopped, 'S' asleep ...).
char process_state(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t after_name = line.rfind(") ");
  return after_name == std::string::npos ? '?' : line[after_name + 2];
}

// Seeded random steps against a dash job: Ctrl+Z, bg, fg, signals from
// outside (CONT, STOP, TSTP, WINCH), tasks typed or pasted, output stopped
// and started (Ctrl+S, Ctrl+Q), from a start chosen by the seed (in the
// foreground or with &, with SIGTTOU, SIGCONT or SIGHUP ignored or
// blocked). After every step: nothing from the program while it is not in
// the foreground, a program in the background stopped (not spinning) as
// soon as it would read, every fg bringing back a program that computes,
// and at the end Ctrl+D with status 0 and the shell's modes as at the start.
class JobControlStorm : public testing::TestWithParam<unsigned> {};

TEST_P(JobControlStorm, KeepsTheTerminalTheShellsOutsideTheForeground) {
  const unsigned seed = GetParam();
  std::mt19937 random(seed);
  static constexpr const char* kStarts[] = {"",
                                            "env --ignore-signal=TTOU ",
                                            "env --block-signal=TTOU ",
                                            "env --ignore-signal=CONT ",
                                            "env --block-signal=CONT ",
                                            "env --ignore-signal=HUP "};
  std::vector<std::string> entries = environment("xterm", seed % 2 == 0 ? "C.UTF-8" : "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  const std::string start = kStarts[random() % std::size(kStarts)];
  const bool background_start = random() % 3 == 0;
  SCOPED_TRACE("seed " + std::to_string(seed) + ": " + start + (background_start ? "&" : ""));
  session.type(start + program_line() + (background_start ? "&\r" : "\r"));
  JobState state = JobState::foreground;
  pid_t job = -1;
  std::size_t left_foreground = 0;  // where the terminal's output was the shell's from
  std::vector<std::string> steps;
  auto trace = [&steps] {
    std::string all;
    for (const std::string& step : steps) all += step + " ";
    return all;
  };

  // To the shell's prompt, once the program is stopped, and back.
  auto to_shell = [&](const char* how) {
    steps.emplace_back(how);
    ASSERT_TRUE(session.wait_for(kShellPrompt)) << trace() << session.seen.substr(session.mark);
    left_foreground = session.mark;
    state = JobState::stopped;
  };
  auto to_foreground = [&] {
    steps.emplace_back("fg");
    // Not waited for by its echo: after a SIGSTOP the terminal has the
    // program's modes still, without echo.
    session.type("fg\r");
    state = JobState::foreground;
    // Until the shell has handed the terminal over: with the modes a SIGSTOP
    // left, the shell's read would take keys typed before that as its own.
    if (job <= 0) job = session.job();
    const auto deadline = std::chrono::steady_clock::now() + patience();
    while (tcgetpgrp(session.master) != getpgid(job) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    wait_for_key_modes(session);
    const std::string why = why_not_computing(session);
    ASSERT_EQ(why, "") << trace() << process_state(job) << " "
                       << testing::PrintToString(session.seen.substr(left_foreground));
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    session.type("k");
    ASSERT_TRUE(session.wait_for(kAsk));
  };
  auto expect_nothing_from_program = [&] {
    const std::string since = session.seen.substr(left_foreground);
    EXPECT_EQ(since.find('\x1b'), std::string::npos) << trace() << testing::PrintToString(since);
    EXPECT_EQ(since.find("Geb'"), std::string::npos) << trace() << testing::PrintToString(since);
  };

  if (background_start) {
    left_foreground = session.seen.size();
    ASSERT_TRUE(wait_for_job_stopped(session)) << session.seen;
    state = JobState::stopped;
    expect_nothing_from_program();
    ASSERT_NO_FATAL_FAILURE(to_foreground());
  } else {
    ASSERT_TRUE(session.wait_for(kAsk)) << testing::PrintToString(session.seen);
  }
  job = session.job();
  ASSERT_GT(job, 0);
  if (!start.empty()) {
    // env execs the program (or its emulator): the job is the program itself.
    std::ifstream comm("/proc/" + std::to_string(job) + "/comm");
    std::string name;
    comm >> name;
    ASSERT_NE(name, "env");
  }

  for (int step = 0; step < 14; ++step) {
    switch (state) {
      case JobState::foreground:
        switch (random() % 6) {
          case 0:
            session.type("\x1a");
            ASSERT_NO_FATAL_FAILURE(to_shell("^Z"));
            break;
          case 1:
            kill(job, SIGTSTP);
            ASSERT_NO_FATAL_FAILURE(to_shell("TSTP"));
            break;
          case 2:
            kill(job, SIGSTOP);
            ASSERT_NO_FATAL_FAILURE(to_shell("STOP"));
            break;
          case 3: {
            steps.emplace_back("^S+task+^Q");
            session.type("\x13* 6 7\r");
            session.type("\x11");
            ASSERT_TRUE(session.wait_for("6*7  ist: 42")) << trace();
            ASSERT_TRUE(session.wait_for(kPausePrompt));
            session.type("k");
            ASSERT_TRUE(session.wait_for(kAsk));
            break;
          }
          case 4: {
            steps.emplace_back("WINCH");
            struct winsize size {};
            size.ws_row = static_cast<unsigned short>(10 + random() % 40);
            size.ws_col = static_cast<unsigned short>(80 + random() % 120);  // the prompts stay whole
            ioctl(session.master, TIOCSWINSZ, &size);
            kill(job, SIGWINCH);
            break;
          }
          default: {
            steps.emplace_back("paste");
            std::string paste;
            for (int task = 0; task < 50; ++task) paste += "- 9 " + std::to_string(task) + "\rk";
            session.type(paste);
            ASSERT_TRUE(session.wait_for("9-49  ist: -40")) << trace();
            ASSERT_TRUE(session.wait_for(kAsk)) << trace() << testing::PrintToString(session.seen.substr(session.mark));
            break;
          }
        }
        break;
      case JobState::stopped:
        expect_nothing_from_program();
        switch (random() % 4) {
          case 0:
            steps.emplace_back("bg");
            session.type("bg\r");
            ASSERT_TRUE(session.wait_for(kShellPrompt));
            state = JobState::background;
            break;
          case 1:
            steps.emplace_back("CONT");
            kill(job, SIGCONT);
            state = JobState::background;
            break;
          case 2:
            steps.emplace_back("WINCH");
            kill(job, SIGWINCH);
            break;
          default: ASSERT_NO_FATAL_FAILURE(to_foreground()); break;
        }
        break;
      case JobState::background:
        // Stopped again as soon as it would read, and silent meanwhile.
        ASSERT_TRUE(Session::wait_for_stopped(job, true)) << trace() << process_state(job);
        ASSERT_TRUE(wait_for_job_stopped(session)) << trace();
        expect_nothing_from_program();
        state = JobState::stopped;
        break;
    }
  }
  if (state == JobState::background) {
    ASSERT_TRUE(Session::wait_for_stopped(job, true)) << trace();
    state = JobState::stopped;
  }
  if (random() % 2 == 0) {
    // Ended from outside wherever it stands (a stopped job is continued to
    // take the signal): it gives back what it holds, or left behind.
    steps.emplace_back("TERM");
    kill(job, SIGTERM);
    if (state != JobState::foreground) kill(job, SIGCONT);
    const auto deadline = std::chrono::steady_clock::now() + patience();
    while (process_state(job) != '?' && process_state(job) != 'Z' && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(1ms);
    }
    run_at_shell(session, ":");
  } else {
    if (state == JobState::stopped) {
      expect_nothing_from_program();
      ASSERT_NO_FATAL_FAILURE(to_foreground());
    }
    session.type("\x04");
    ASSERT_TRUE(session.wait_for(kShellPrompt)) << trace();
    EXPECT_EQ(job_status(session, false), "status=0") << trace();
  }
  EXPECT_EQ(shell_modes(session), modes) << trace();
  // Its screen left as often as it was entered.
  auto count = [&session](std::string_view text) {
    int found = 0;
    for (std::size_t at = session.seen.find(text); at != std::string::npos; at = session.seen.find(text, at + 1))
      ++found;
    return found;
  };
  EXPECT_EQ(count(kEnterOwnScreen), count(kLeaveOwnScreen)) << trace();
}

std::vector<unsigned> job_storm_seeds() { return seeds("TASCHENRECHNER_JOB_STORM_SEEDS", 12); }
INSTANTIATE_TEST_SUITE_P(AtATerminal, JobControlStorm, testing::ValuesIn(job_storm_seeds()));

}  // namespace

namespace {

// An `stty` made while the program is stopped is the user's wish: the
// program's end puts back the modes the shell had when it last took the
// terminal, not those it found at its start.
TEST(AtATerminal, ModesChangedWhileStoppedAreKeptAtTheEnd) {
  std::vector<std::string> entries = environment("xterm", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  session.type(program_line() + "\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  run_at_shell(session, "stty -echoctl -iexten");
  const std::string changed = shell_modes(session);
  ASSERT_NE(changed, modes);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  wait_for_key_modes(session);
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), changed);
}

}  // namespace

namespace {

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
bool wait_for_write_waiting(pid_t pid) {
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

// Output stopped (Ctrl+S) while the program draws a line: its write waits.
// Ctrl+Z comes (and starts the output again, as the terminal does), or a
// SIGSTOP and then Ctrl+Q; then bg: what waited must not go on onto the
// shell's screen.
class AWriteWaiting : public testing::TestWithParam<bool> {};

TEST_P(AWriteWaiting, WhenAStopComesWaitsForTheForeground) {
  const bool by_sigstop = GetParam();
  ShellWithProgram shell(program_line());
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  const pid_t job = session.job();
  session.type("\x13* 3 4\r");  // "*": no sign the shell writes of its jobs
  ASSERT_TRUE(wait_for_write_waiting(job)) << process_state(job);
  if (by_sigstop) {
    kill(job, SIGSTOP);
    ASSERT_TRUE(Session::wait_for_stopped(job, true));
    session.type("\x11");
  } else {
    session.type("\x1a");
  }
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  session.type("bg\r");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t in_background = session.mark;
  ASSERT_TRUE(Session::wait_for_stopped(job, true));
  run_at_shell(session, ":");
  EXPECT_EQ(session.seen.find('*', in_background), std::string::npos) << session.seen.substr(in_background);
  if (!by_sigstop) {
    EXPECT_EQ(shell_modes(session), shell.modes);  // after a SIGSTOP they are the program's still
  }
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for("3*4  ist: 12")) << session.seen.substr(in_background);
  ASSERT_NO_FATAL_FAILURE(pause_passed_and_end(session, shell.modes));
}

INSTANTIATE_TEST_SUITE_P(AtATerminal, AWriteWaiting, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Sigstop" : "CtrlZ"; });

// SIGSTOP, which no handler sees, leaves the program's screen and modes on
// the terminal. Brought back with fg, the program shows its prompt again
// with the line typed so far; killed in the background after bg, it gives
// back what it left there.
class LeftBehindByAStop : public testing::TestWithParam<bool> {};

TEST_P(LeftBehindByAStop, GoesOnOrGivesTheTerminalBack) {
  const bool killed_in_background = GetParam();
  ShellWithProgram shell(program_line());
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  const pid_t job = session.job();
  session.type("+ 1");
  ASSERT_TRUE(session.wait_for("+ 1"));
  kill(job, SIGSTOP);
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t stopped = session.mark;
  if (!killed_in_background) {
    session.type("fg\r");
    ASSERT_TRUE(session.wait_for(std::string(kAsk) + "+ 1")) << testing::PrintToString(session.seen.substr(stopped));
    // Its screen never left: entering it again would push the title twice.
    EXPECT_EQ(session.seen.find(kEnterOwnScreen, stopped), std::string::npos);
    ASSERT_NO_FATAL_FAILURE(complete_task_and_end(session, shell.modes));
  } else {
    // Modes the user sets meanwhile are theirs: the program's end keeps them.
    run_at_shell(session, "stty -iexten");
    const std::string changed = shell_modes(session);
    session.type("bg\r");
    ASSERT_TRUE(session.wait_for(kShellPrompt));
    ASSERT_TRUE(Session::wait_for_stopped(job, true));
    kill(job, SIGTERM);
    kill(job, SIGCONT);
    ASSERT_TRUE(session.wait_for(kLeaveOwnScreen)) << testing::PrintToString(session.seen.substr(stopped));
    EXPECT_EQ(session.seen.find(kLeaveOwnScreen, session.mark), std::string::npos) << "given back twice";
    EXPECT_EQ(shell_modes(session), changed);
  }
}

INSTANTIATE_TEST_SUITE_P(AtATerminal, LeftBehindByAStop, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "KilledAfterBg" : "Fg"; });

// The job's leader (a wrapping shell) killed while the program runs on: its
// shell takes the terminal back without a stop. At the next key the
// program reads, its read fails, and it ends giving back its screen and
// modes. (The key must not be the shell's: it runs a loop meanwhile.) At a
// prompt and at the pause, whose key is read as well.
class LeftBehindByItsShell : public testing::TestWithParam<bool> {};

TEST_P(LeftBehindByItsShell, ItGivesTheTerminalBackAndNamesTheFailedRead) {
  const bool at_pause = GetParam();
  ShellWithProgram shell("sh -c '" + program_line() + "; :'");
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  if (at_pause) {
    session.type("+ 1 2\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
  }
  const pid_t wrapper = session.job();
  std::ifstream children("/proc/" + std::to_string(wrapper) + "/task/" + std::to_string(wrapper) + "/children");
  pid_t program = -1;
  ASSERT_TRUE(children >> program);
  kill(wrapper, SIGKILL);
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t killed = session.mark;
  // A loop that reads no key, until the program's descriptors are gone (a
  // zombie has none); its first word shows that the shell has read the line.
  const std::string program_input = "/proc/" + std::to_string(program) + "/fd/0";
  session.type("echo loop''ing; while [ -e " + program_input + " ]; do :; done\r");
  ASSERT_TRUE(session.wait_for("looping"));
  session.type("\r");
  session.mark = killed;  // the program may have read first, and ended then
  ASSERT_TRUE(session.wait_for("Die Eingabe kann nicht gelesen werden: Input/output error\r\n"))
      << testing::PrintToString(session.seen.substr(killed));
  EXPECT_NE(session.seen.find(kLeaveOwnScreen, killed), std::string::npos)
      << testing::PrintToString(session.seen.substr(killed));
  EXPECT_EQ(shell_modes(session), shell.modes);
}

INSTANTIATE_TEST_SUITE_P(AtATerminal, LeftBehindByItsShell, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "AtThePause" : "AtAPrompt"; });

// The children of a process, as /proc lists them.
std::vector<pid_t> children_of(pid_t parent) {
  std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  std::vector<pid_t> children;
  for (pid_t pid = 0; list >> pid;) children.push_back(pid);
  return children;
}

// Output to a file, keys from the terminal: a stop and fg at the pause
// change no byte of the file (nothing was cleared on it to show again).
TEST(AtATerminal, AStopAtThePauseChangesNothingInTheOutputFile) {
  const std::string file = testing::TempDir() + "taschenrechner-output-" + std::to_string(getpid());
  auto in_file_once = [&file](std::string_view text) {
    const auto deadline = std::chrono::steady_clock::now() + patience();
    for (;;) {
      std::ifstream in(file, std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (content.ends_with(text) || std::chrono::steady_clock::now() > deadline) return content;
      std::this_thread::sleep_for(1ms);
    }
  };
  auto file_after = [&](bool with_stop) {
    Session session(ShellWithProgram::shell_environment(), {.shell = "/bin/dash"});
    EXPECT_TRUE(session.wait_for(kShellPrompt));
    const std::string modes = shell_modes(session);
    session.type(program_line() + ">" + file + "\r");
    EXPECT_TRUE(session.wait_for(file + "\r\n"));  // past the shell's prompt
    EXPECT_TRUE(in_file_once(kAsk).ends_with(kAsk));
    session.type("+ 1 2\r");
    EXPECT_TRUE(in_file_once(". . . ").ends_with(". . . "));
    wait_for_key_modes(session);
    if (with_stop) {
      session.type("\x1a");
      EXPECT_TRUE(session.wait_for(kShellPrompt));
      session.type("fg\r");
      wait_for_key_modes(session);
    }
    session.type("k");
    EXPECT_TRUE(in_file_once(kAsk).ends_with(kAsk));
    session.type("\x04");
    EXPECT_TRUE(session.wait_for(kShellPrompt));
    EXPECT_EQ(shell_modes(session), modes);
    return in_file_once("\n");
  };
  const std::string without_stop = file_after(false);
  EXPECT_EQ(file_after(true), without_stop);
  std::filesystem::remove(file);
}

// A continue with no stop before it (kill -CONT in the foreground): what
// is shown again begins on a line of its own, and the task goes on.
TEST(AtATerminal, AContinueWithoutAStopShowsTheWaitAgainOnALineOfItsOwn) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("+ 12");
  ASSERT_TRUE(session.wait_for("+ 12"));
  kill(session.child, SIGCONT);
  ASSERT_TRUE(session.wait_for(std::string("\r\n") + std::string(kAsk) + "+ 12"))
      << testing::PrintToString(session.seen.substr(session.mark));
  session.type(" 3\r");
  ASSERT_TRUE(session.wait_for("12+3  ist: 15"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  kill(session.child, SIGCONT);
  ASSERT_TRUE(session.wait_for(std::string("\r\nDrue") + std::string(kPausePrompt)))
      << testing::PrintToString(session.seen.substr(session.mark));
  session.type("k");
  ASSERT_TRUE(session.wait_for(kAsk));
}

// Without the line editor (TERM=dumb) the terminal's own line mode reads,
// and the program waits for a line: once its shell has taken the terminal
// back (the job's leader killed), the line typed is the shell's. (The
// program learns of it at the next line it wins, or at the hang-up.)
TEST(AtATerminal, LeftBehindByItsShellAtADumbTerminalItTakesNoLineOfTheShells) {
  std::vector<std::string> entries = environment("dumb", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  session.type("sh -c '" + program_line() + "; :'\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  const pid_t wrapper = session.job();
  kill(wrapper, SIGKILL);
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::size_t killed = session.mark;
  session.type("echo hel''lo\r");
  EXPECT_TRUE(session.wait_for("\r\nhello\r\n")) << testing::PrintToString(session.seen.substr(killed));
}

// A resize while the program is stopped goes to the shell, which has the
// terminal then: back in the foreground, the editor wraps at the width the
// terminal has now.
TEST(AtATerminal, TheEditorWrapsAtAWidthChangedWhileItWasStopped) {
  ShellWithProgram shell(program_line());
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  struct winsize size {};
  size.ws_row = 24;
  size.ws_col = 40;
  ioctl(session.master, TIOCSWINSZ, &size);
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for("ein: "));  // the prompt wraps now
  session.type(std::string(70, '1'));
  EXPECT_TRUE(session.wait_for(std::string(40, '1') + " \b"))
      << testing::PrintToString(session.seen.substr(session.mark));
}

// The wrapping shell gone, while cat, beside it in the pipeline, still ties
// the job to the interactive shell: the group is no orphan, so the kernel
// delivers stops, and Ctrl+Z must stop the program as before.
TEST(AtATerminal, ACommandBesideItInThePipelineKeepsCtrlZAStop) {
  ShellWithProgram shell("sh -c '" + program_line() + "3>&1 >/dev/tty; :' | cat");
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  pid_t wrapper = -1;
  pid_t program = -1;
  for (const pid_t member : children_of(session.child)) {
    const std::vector<pid_t> below = children_of(member);
    if (!below.empty()) {
      wrapper = member;
      program = below.front();
    }
  }
  ASSERT_GT(program, 0);
  kill(wrapper, SIGKILL);
  // The shell says so in its own time, which must not fall among the echo.
  ASSERT_TRUE(session.wait_for("Killed\r\n"));
  session.type("+ 1");
  ASSERT_TRUE(session.wait_for("+ 1"));
  session.type("\x1a");
  ASSERT_TRUE(Session::wait_for_stopped(program, true)) << process_state(program);
  ASSERT_TRUE(session.wait_for(kShellPrompt)) << testing::PrintToString(session.seen.substr(session.mark));
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(std::string(kAsk) + "+ 1")) << testing::PrintToString(session.seen.substr(session.mark));
  ASSERT_NO_FATAL_FAILURE(complete_task_and_end(session, shell.modes));
}

}  // namespace
