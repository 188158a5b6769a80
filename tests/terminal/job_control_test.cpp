// The program as a job of a shell: stopped, continued, in the background
// and back, in every state a shell or a parent can start it in, and storms
// of all of it.

#include <gtest/gtest.h>

#include <cctype>

#include "session.hpp"

namespace {

using namespace terminal_test;

// Stopped, the terminal is the shell's as found; continued, the program has
// its screen and modes back and shows the pass it waits in again.
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
  // The pass again, the result the pause is there for above its prompt.
  ASSERT_TRUE(session.wait_for("2*3  ist: 6")) << session.seen.substr(session.mark);
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

// A job whose shell has gone (here the `dash -c` that started it with &):
// the kernel discards its stops, and its reads from the background fail.
// It ends at once with the line naming that, writes nothing else to the
// terminal and leaves the modes alone; it does not wait for ever in a loop.
// At a terminal that takes escape sequences and at one that takes none
// alike, the failure named is the read's.
class AnOrphanedJob : public testing::TestWithParam<const char*> {};

TEST_P(AnOrphanedJob, EndsWithoutTouchingTheTerminal) {
  std::vector<std::string> entries = environment(GetParam(), "C");
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
INSTANTIATE_TEST_SUITE_P(AtATerminal, AnOrphanedJob, testing::Values("xterm", "dumb"),
                         [](const auto& info) { return std::string(info.param); });

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
  pause_passed_and_end(session, modes);
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

// An `stty` made while the program is stopped is the user's wish: the
// program's end puts back the modes the shell had when it last took the
// terminal, not those it found at its start.
// Each kind of mode: flags, and control characters alone (a new intr, a
// new erase), which a comparison of the flags alone would miss.
class ModesChangedWhileStopped : public testing::TestWithParam<const char*> {};

TEST_P(ModesChangedWhileStopped, AreKeptAtTheEnd) {
  std::vector<std::string> entries = environment("xterm", "C");
  entries.emplace_back("PS1=" + std::string(kShellPrompt));
  Session session(entries, {.shell = "/bin/dash"});
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  const std::string modes = shell_modes(session);
  session.type(program_line() + "\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  run_at_shell(session, std::string("stty ") + GetParam());
  const std::string changed = shell_modes(session);
  ASSERT_NE(changed, modes);
  const struct termios set = session.settings();
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  wait_for_key_modes(session);
  // While it runs too: all but its own two flags and the wait for a key.
  const struct termios running = session.settings();
  EXPECT_EQ(running.c_iflag, set.c_iflag);
  EXPECT_EQ(running.c_oflag, set.c_oflag);
  EXPECT_EQ(running.c_lflag | ICANON | ECHO, set.c_lflag | ICANON | ECHO);
  for (const int character : {VINTR, VQUIT, VERASE, VKILL, VEOF, VSUSP, VWERASE, VLNEXT, VREPRINT}) {
    EXPECT_EQ(running.c_cc[character], set.c_cc[character]) << "control character " << character;
  }
  session.type("\x04");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  EXPECT_EQ(shell_modes(session), changed);
}

INSTANTIATE_TEST_SUITE_P(AtATerminal, ModesChangedWhileStopped,
                         testing::Values("-echoctl -iexten", "intr ^G", "erase ^H", "eof ^B", "-ixon susp ^Y"),
                         [](const auto& info) {
                           std::string name;
                           for (const char* c = info.param; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c)) != 0) name.push_back(*c);
                           }
                           return name;
                         });

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
      EXPECT_TRUE(session.wait_for("\r\n")) << "the echo of fg";
      EXPECT_TRUE(wait_for_echo(session, false)) << "the pause's modes after fg";
    }
    session.type("k");
    const std::string after_key = in_file_once(kAsk);
    EXPECT_TRUE(after_key.ends_with(kAsk))
        << testing::PrintToString(after_key) << " lflag " << session.settings().c_lflag << " the terminal got "
        << testing::PrintToString(session.seen) << ", the program's state " << process_state(session.job()) << " in "
        << [&session] {
             std::ifstream call("/proc/" + std::to_string(session.job()) + "/syscall");
             std::string text;
             std::getline(call, text);
             std::ifstream wchan("/proc/" + std::to_string(session.job()) + "/wchan");
             std::string where;
             std::getline(wchan, where);
             return text + " " + where;
           }();
    session.type("\x04");
    EXPECT_TRUE(session.wait_for(kShellPrompt));
    EXPECT_EQ(shell_modes(session), modes);
    return in_file_once("\n");
  };
  const std::string without_stop = file_after(false);
  EXPECT_EQ(file_after(true), without_stop);
  std::filesystem::remove(file);
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

// An stty made while the program is stopped counts from fg on: the word
// erase moved to Ctrl+T works at the prompt the program comes back to.
TEST(AtATerminal, AnEditingCharacterMovedWhileStoppedCountsAfterFg) {
  ShellWithProgram shell(program_line());
  Session& session = shell.session;
  ASSERT_TRUE(session.seen.ends_with(kAsk)) << session.seen;
  session.type("\x1a");
  ASSERT_TRUE(session.wait_for(kShellPrompt));
  run_at_shell(session, "stty werase ^T");
  session.type("fg\r");
  ASSERT_TRUE(session.wait_for(kAsk));
  session.type(
      "+ 1 27\x14"
      "2\r");
  EXPECT_TRUE(session.wait_for("1+2  ist: 3")) << testing::PrintToString(session.seen.substr(session.mark));
}

}  // namespace
