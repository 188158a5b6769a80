// Runs the built program with its standard streams redirected, failing ones
// among them (and one that refuses a write after taking part of it), and
// checks how it ends: its status or signal, the one line it writes on
// standard error, what reached its output, and that no escape sequence
// reaches output that is no terminal even where TERM names one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>

#include "program_command.hpp"
#include "test_locales.hpp"

namespace {

enum class Input { tasks, unfinished_task, endless, directory, closed, empty };
enum class Output { pipe, full_device, closed, pipe_without_reader, file_beyond_size_limit };

struct ExitCase {
  const char* name;
  Input input;
  Output output;
  // SIGPIPE and SIGXFSZ, which a failing write raises, ignored.
  bool output_signals_ignored = false;
  int status = 0;  // the exit status, unless a signal ends the program
  int signal = 0;
  std::string error_line;  // all that standard error receives
  const char* locale = "C";
  const char* output_holds = "";  // somewhere in what a pipe for standard output receives
  const char* argument = nullptr;
};

void PrintTo(const ExitCase& c, std::ostream* os) { *os << c.name; }

const std::string kWriteFailed = "taschenrechner: Die Ausgabe kann nicht geschrieben werden: ";
const std::string kReadFailed = "taschenrechner: Die Eingabe kann nicht gelesen werden: ";

std::string read_all(int fd) {
  std::string text;
  char buffer[4096];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

int piped(std::string_view text) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  EXPECT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(ends[1]);
  return ends[0];
}

// A pipe with one task after another, until its reader is gone.
int endless_tasks() {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  signal(SIGPIPE, SIG_IGN);  // here, in the test; the writer ends on EPIPE
  std::thread([writer = ends[1]] {
    constexpr std::string_view kTask = "+ 1 2\n";
    while (write(writer, kTask.data(), kTask.size()) > 0) {
    }
    close(writer);
  }).detach();
  return ends[0];
}

// The program's standard input as the case says; -1 for none.
int open_input(Input input) {
  switch (input) {
    case Input::tasks: return piped("+ 1 2\n* 6 7\n");
    case Input::unfinished_task: return piped("+ 1 2\n* 6\n");
    case Input::endless: return endless_tasks();
    case Input::directory: return open("/", O_RDONLY | O_DIRECTORY);
    case Input::closed: return -1;
    case Input::empty: return piped("");
  }
  return -1;
}

struct Ending {
  int wait_status = 0;
  std::string output;  // what a pipe for standard output received
  std::string errors;
};

Ending run_program(const ExitCase& c) {
  const int input = open_input(c.input);
  int output[2] = {-1, -1};
  if (c.output == Output::pipe || c.output == Output::pipe_without_reader) {
    EXPECT_EQ(pipe(output), 0);
  } else if (c.output == Output::full_device) {
    output[1] = open("/dev/full", O_WRONLY);
  } else if (c.output == Output::file_beyond_size_limit) {
    char path[] = "/tmp/taschenrechner-exit-XXXXXX";
    output[1] = mkstemp(path);
    unlink(path);
  }
  if (c.output == Output::pipe_without_reader) {
    close(output[0]);
    output[0] = -1;
  }
  int errors[2];
  EXPECT_EQ(pipe(errors), 0);

  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    input >= 0 ? dup2(input, STDIN_FILENO) : close(STDIN_FILENO);
    output[1] >= 0 ? dup2(output[1], STDOUT_FILENO) : close(STDOUT_FILENO);
    dup2(errors[1], STDERR_FILENO);
    for (const int output_signal : {SIGPIPE, SIGXFSZ}) {
      signal(output_signal, c.output_signals_ignored ? SIG_IGN : SIG_DFL);
    }
    if (c.output == Output::file_beyond_size_limit) {
      // Room for the first prompt, which is written before the first read,
      // and not for the line end after it, written at the very end.
      const struct rlimit limit { 51, 51 };
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::string locale = std::string("LC_ALL=") + c.locale;
    char term[] = "TERM=xterm";
    // The tests' own locales only where a case asks for one: newlocale()
    // loses what it parses of LOCPATH, which LeakSanitizer would report as
    // the program's leak. For the C locale the list ends after TERM.
    std::string locales = std::string("LOCPATH=") + TASCHENRECHNER_TEST_LOCALES;
    char no_leak_check[] = "ASAN_OPTIONS=detect_leaks=0";
    const bool own_locale = is_test_locale(c.locale);
    char* environment[] = {locale.data(), term, own_locale ? locales.data() : nullptr, no_leak_check, nullptr};
    exec_program(environment, c.argument);
    _exit(127);
  }
  for (const int fd : {input, output[1], errors[1]}) {
    if (fd >= 0) close(fd);
  }
  Ending run;
  if (output[0] >= 0) {
    run.output = read_all(output[0]);
    close(output[0]);
  }
  run.errors = read_all(errors[0]);
  close(errors[0]);
  waitpid(child, &run.wait_status, 0);
  return run;
}

class ProgramEnd : public testing::TestWithParam<ExitCase> {};

TEST_P(ProgramEnd, ReportsHowItEnded) {
  const ExitCase& c = GetParam();
  if (const std::string missing = missing_locale(c.locale); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  const Ending run = run_program(c);
  if (c.signal != 0) {
    ASSERT_TRUE(WIFSIGNALED(run.wait_status)) << run.wait_status;
    EXPECT_EQ(WTERMSIG(run.wait_status), c.signal);
  } else {
    ASSERT_TRUE(WIFEXITED(run.wait_status)) << run.wait_status;
    EXPECT_EQ(WEXITSTATUS(run.wait_status), c.status);
  }
  EXPECT_EQ(run.errors, c.error_line);
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(c.output_holds), std::string::npos) << run.output;
}

const ExitCase kEnds[] = {
    {"InputEndsAtTheSign", Input::tasks, Output::pipe, false, 0, 0, ""},
    {"InputEndsInsideACalculation", Input::unfinished_task, Output::pipe, false, 1, 0,
     "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.\n"},
    {"InputClosed", Input::closed, Output::pipe, false, 2, 0, kReadFailed + "Bad file descriptor\n"},
    {"InputIsADirectory", Input::directory, Output::pipe, false, 2, 0, kReadFailed + "Is a directory\n"},
    {"OutputOnAFullDevice", Input::tasks, Output::full_device, false, 2, 0, kWriteFailed + "No space left on device\n"},
    {"OutputClosed", Input::tasks, Output::closed, false, 2, 0, kWriteFailed + "Bad file descriptor\n"},
    {"OutputBeyondTheFileSizeLimit", Input::endless, Output::file_beyond_size_limit, true, 2, 0,
     kWriteFailed + "File too large\n"},
    // The last write, at the end of the input, fails as any other.
    {"EmptyInputBeyondTheFileSizeLimit", Input::empty, Output::file_beyond_size_limit, true, 2, 0,
     kWriteFailed + "File too large\n"},
    // As for any program, SIGXFSZ at its default ends it.
    {"OutputBeyondTheFileSizeLimitWithItsSignal", Input::endless, Output::file_beyond_size_limit, false, 0, SIGXFSZ,
     ""},
    {"PipeWithoutReaderWhenBrokenPipesAreIgnored", Input::endless, Output::pipe_without_reader, true, 2, 0,
     kWriteFailed + "Broken pipe\n"},
    {"PipeWithoutReader", Input::endless, Output::pipe_without_reader, false, 0, SIGPIPE, ""},
    // The system's text in the user's language and character set.
    {"SystemTextInGerman", Input::tasks, Output::full_device, false, 2, 0,
     kWriteFailed + "Auf dem Ger\xc3\xa4t ist kein Speicherplatz mehr verf\xc3\xbcgbar\n", "de_DE.UTF-8"},
    {"SystemTextInLatin1", Input::tasks, Output::full_device, false, 2, 0,
     kWriteFailed + "Auf dem Ger\xe4t ist kein Speicherplatz mehr verf\xfcgbar\n", "de_DE.ISO-8859-1"},
    // A character set without the program's letters: a pipe gets the
    // program's own bytes (ä as CP850's 0x84), not replacements.
    {"PipedOutputKeepsTheLettersACharsetLacks", Input::unfinished_task, Output::pipe, false, 1, 0,
     "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.\n", "ru_RU.KOI8-R", "unvollst\x84ndig!\n"},
    // The options' answers fail as any output does.
    {"HelpOnAFullDevice", Input::tasks, Output::full_device, false, 2, 0, kWriteFailed + "No space left on device\n",
     "C", "", "--help"},
};
INSTANTIATE_TEST_SUITE_P(Redirected, ProgramEnd, testing::ValuesIn(kEnds),
                         [](const auto& info) { return std::string(info.param.name); });

// A write to standard output that the system refuses after taking part of
// it, as a non-blocking pipe does when its reader falls behind, at every
// point a piped run writes: the flush before the first read, a full block,
// and the last flush at the end of the input; in the C locale and in a
// UTF-8 one, whose output is recoded block by block. The program must end
// with status 2 and the line that names the cause, and what it wrote must
// be a beginning of what it writes when nothing fails: no part of the
// refused block twice, nothing after it.

struct RefusedRun {
  int status = -1;
  std::string output;
  std::string errors;
};

// The program on `input`, with its Nth write refused where `refused` is 1 or
// more; each write to standard error in brackets where `marked`.
RefusedRun run_with_refusal(const std::string& locale, const std::string& input, int refused, bool marked = false) {
  int in[2];
  int out[2];
  int err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  // All of the input is there before the program starts, so that which
  // write is which does not hang on when the input arrives.
  EXPECT_LE(input.size(), 65536U) << "more than a pipe holds";
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const int fd : {in[0], out[0], out[1], err[0], err[1]}) close(fd);
    std::string locale_setting = "LC_ALL=" + locale;
    std::string refusal = "TASCHENRECHNER_REFUSED_WRITE=" + std::to_string(refused);
    char preload[] = "LD_PRELOAD=" TASCHENRECHNER_REFUSED_WRITE_SHIM;
    // The sanitizers' runtime need not come first where the shim does.
    char sanitizer[] = "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0";
    char marking[] = "TASCHENRECHNER_MARK_ERROR_WRITES=1";
    char* environment[] = {locale_setting.data(),
                           sanitizer,
                           refusal.data(),
                           marked ? marking : sanitizer,
                           refused > 0 || marked ? preload : nullptr,
                           nullptr};
    exec_program(environment);
    _exit(127);
  }
  for (const int fd : {in[0], out[1], err[1]}) close(fd);
  RefusedRun run;
  std::thread errors([&] { run.errors = read_all(err[0]); });
  run.output = read_all(out[0]);
  errors.join();
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string numbered_tasks(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "+ " + std::to_string(i) + " 2\n";
  return text;
}

struct RefusedWrite {
  const char* name;
  int tasks;
  int refused;  // which write to standard output
};

// With all input there at once, the first write is the flush before the
// first read, which takes all of it; with few tasks the second is the
// last, at the end of the input; with many, those between are full blocks.
constexpr RefusedWrite kRefusals[] = {
    {"BeforeTheFirstRead", 2000, 1},
    {"AFullBlock", 2000, 3},
    {"AtTheEndOfTheInput", 5, 2},
};

void PrintTo(const RefusedWrite& refusal, std::ostream* os) { *os << refusal.name; }

class RefusedWriteTest : public testing::TestWithParam<std::tuple<RefusedWrite, const char*>> {};

TEST_P(RefusedWriteTest, EndsTheOutputWhereItWasRefused) {
  if (kProgramEmulated) {
    GTEST_SKIP() << "the shim is loaded by the machine's own dynamic loader";
  }
  const auto& [refusal, locale] = GetParam();
  const std::string input = numbered_tasks(refusal.tasks);
  const RefusedRun whole = run_with_refusal(locale, input, 0);
  ASSERT_EQ(whole.status, 0) << whole.errors;
  const RefusedRun run = run_with_refusal(locale, input, refusal.refused);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.errors,
            "taschenrechner: Die Ausgabe kann nicht geschrieben werden: Resource temporarily unavailable\n");
  EXPECT_LT(run.output.size(), whole.output.size());
  EXPECT_TRUE(whole.output.starts_with(run.output))
      << run.output.size() << " bytes written, which part ways with those of a whole run at byte "
      << (std::mismatch(run.output.begin(), run.output.end(), whole.output.begin()).first - run.output.begin());
}

// The line naming the failure reaches standard error in one write, whole,
// in every locale: a terminal shared with a shell shows no other output
// between its pieces. Counted by the shim, not by timing.
TEST(RefusedWrites, TheLineNamingTheFailureIsOneWrite) {
  if (kProgramEmulated) {
    GTEST_SKIP() << "the shim is loaded by the machine's own dynamic loader";
  }
  for (const char* locale : {"C", "C.UTF-8"}) {
    const RefusedRun run = run_with_refusal(locale, numbered_tasks(5), 2, true);
    EXPECT_EQ(run.status, 2) << locale;
    EXPECT_EQ(run.errors,
              "[taschenrechner: Die Ausgabe kann nicht geschrieben werden: Resource temporarily unavailable\n]")
        << locale;
  }
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedWriteTest,
                         testing::Combine(testing::ValuesIn(kRefusals), testing::Values("C", "C.UTF-8")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::string(std::get<1>(info.param)) == "C" ? "_C" : "_C_UTF_8");
                         });

}  // namespace
