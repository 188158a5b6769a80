// Drives the built program in a pseudo-terminal, as a user at a terminal
// would, and checks what the terminal receives and how it is left.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kThirdPrompt = "Geb' die zweite Zahl ein: ";
constexpr std::string_view kPausePrompt = "cken Sie eine beliebige Taste . . . ";
constexpr std::string_view kSetTitle = "\x1b]0;Einfacher Taschenrechner\x07";
constexpr std::string_view kSaveTitle = "\x1b[22;0t";
constexpr std::string_view kRestoreTitle = "\x1b[23;0t";
constexpr std::string_view kClear = "\x1b[H\x1b[2J\x1b[3J";

// The program in a pseudo-terminal of 80 x 24; killed and reaped if a test
// leaves it running.
struct Session {
  int master = -1;
  pid_t child = -1;
  std::string seen;      // everything the terminal received so far
  std::size_t mark = 0;  // where the next wait_for starts looking

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // With `ignore_interrupt` the program starts with SIGINT ignored, as
  // under nohup or in a background job of a non-interactive shell.
  explicit Session(const std::vector<std::string>& environment, bool ignore_interrupt = false) {
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
      if (ignore_interrupt) {
        signal(SIGINT, SIG_IGN);
      }
      std::vector<char*> envp;
      envp.reserve(environment.size() + 1);
      for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
      }
      envp.push_back(nullptr);
      execle(TASCHENRECHNER_PATH, TASCHENRECHNER_PATH, static_cast<char*>(nullptr), envp.data());
      _exit(127);
    }
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

TEST(AtATerminal, PauseWaitsForOneKeyWithoutEchoThenClearsAndGoesOn) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  EXPECT_EQ(session.seen.find(std::string(kSaveTitle) + std::string(kSetTitle)), 0u) << session.seen;
  const struct termios found = session.settings();
  ASSERT_TRUE(echoes_in_lines(found));

  session.type("+\r3\r4\r");
  ASSERT_TRUE(session.wait_for(
      "Das Ergebnis der Rechenaufgabe  3+4  ist: 7\r\n\r\nUm eine erneute Rechenaufgabe zu l\x94sen Dr\x81"));
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  EXPECT_EQ(session.drain(300ms), "") << "the pause must wait for a key";
  EXPECT_FALSE(echoes_in_lines(session.settings()));

  const std::size_t after_pause_prompt = session.mark;
  session.type("k");
  // No echo of the key: the line end, the clearing and the next pass follow the prompt at once.
  const std::string next_pass = "\r\n" + std::string(kClear) + std::string(kSetTitle) + std::string(kAsk);
  ASSERT_TRUE(session.wait_for(next_pass)) << session.seen.substr(session.mark);
  EXPECT_EQ(session.seen.substr(after_pause_prompt, next_pass.size()), next_pass);
  EXPECT_TRUE(echoes_in_lines(session.settings()));

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
  EXPECT_TRUE(session.seen.ends_with(std::string("\r\n") + std::string(kRestoreTitle)))
      << session.seen.substr(session.mark);
}

TEST(AtATerminal, KeysOfSeveralBytesCountAsOneAtThePause) {
  for (const char* key : {"\x1b[A", "\x1b[15~", "\x1bOP", "\xc3\xbc"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(key)));
    Session session(environment("xterm", "C.UTF-8"));
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("* 6 7\r");
    ASSERT_TRUE(session.wait_for(kPausePrompt));
    session.type(key);
    ASSERT_TRUE(session.wait_for(kAsk));
    session.type("+ 1 2\r");
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
  EXPECT_TRUE(session.wait_for("7\r\n\r\nFehler! Das Rechenzeichen ist ung\x81ltig!\r\n"));
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

TEST(AtATerminal, CtrlCAtThePauseEndsByTheSignalAndLeavesTheTerminalAsFound) {
  Session session(environment("xterm", "C"));
  ASSERT_TRUE(session.wait_for(kAsk));
  const struct termios found = session.settings();
  session.type("/ 1 3\r");
  ASSERT_TRUE(session.wait_for(kPausePrompt));
  ASSERT_FALSE(echoes_in_lines(session.settings()));

  session.type("\x03");
  const int status = session.wait_for_end();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  const struct termios left = session.settings();
  EXPECT_EQ(left.c_lflag, found.c_lflag);
  EXPECT_EQ(left.c_iflag, found.c_iflag);
  EXPECT_EQ(left.c_cc[VMIN], found.c_cc[VMIN]);
  EXPECT_EQ(left.c_cc[VTIME], found.c_cc[VTIME]);
}

TEST(AtATerminal, AnIgnoredInterruptStaysIgnoredAtThePause) {
  Session session(environment("xterm", "C"), true);
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
