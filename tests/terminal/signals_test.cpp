// The ways out at a terminal: every ending signal, a terminal that cannot
// be read, the end of the input, piped tasks; each leaves the terminal as
// found.

#include <gtest/gtest.h>

#include "session.hpp"

namespace {

using namespace terminal_test;

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

}  // namespace
