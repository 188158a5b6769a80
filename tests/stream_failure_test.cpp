// Runs the built program with its standard streams broken in every way a
// stream breaks, one at a time and together, at every point a run can
// reach, and checks how each run ends: with the status its failures call
// for, or by the signal the user's own setting asks for (SIGPIPE or SIGXFSZ
// at their default), never by any other signal; standard error receives
// exactly the line that names the cause, or nothing at all where it is
// broken itself, since there is nobody left to tell. The expectation of
// each cell follows from a few rules, written out once below, so that the
// table can hold every combination instead of the ones someone thought of.
// Beside the table: runs where only one of standard output and standard
// error is a terminal, which must get their letters beyond ASCII as the
// README's table says, byte for byte; and a terminal that hangs up while
// the program waits for it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "program_command.hpp"

namespace {

using namespace std::chrono_literals;

const std::string kWriteFailed = "taschenrechner: Die Ausgabe kann nicht geschrieben werden: ";
const std::string kReadFailed = "taschenrechner: Die Eingabe kann nicht gelesen werden: ";
const std::string kIncomplete = "taschenrechner: Die Eingabe endet mitten in einer Rechenaufgabe.\n";
constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kSecondNumberPrompt = "Geb' die zweite Zahl ein: ";
constexpr std::string_view kPausePrompt = "cken Sie eine beliebige Taste . . . ";

std::string unknown_argument_line(std::string_view argument, std::string_view line_end = "\n") {
  return "taschenrechner: Unbekanntes Argument \"" + std::string(argument) +
         "\"; Hilfe mit \"taschenrechner --help\"." + std::string(line_end);
}

// `surplus` as the terminal or the pipe shows the program's word for it.
std::string extra_argument_line(std::string_view surplus, std::string_view argument, std::string_view line_end = "\n") {
  return "taschenrechner: " + std::string(surplus) + " Argument \"" + std::string(argument) +
         "\"; Hilfe mit \"taschenrechner --help\"." + std::string(line_end);
}

// How far a run gets before its input ends. Piped input never makes the
// pause wait, so there the pause and the end of the input after whole tasks
// differ only in what was read last; both are kept, since a run that ends
// at the pause at a terminal is a case of its own (see the hang-up rows).
enum class Phase { argument_error, first_prompt, mid_task, pause, end_of_input };

struct PhaseRun {
  Phase phase;
  const char* name;
  const char* input;
  const char* argument;
};
constexpr PhaseRun kPhases[] = {
    {Phase::argument_error, "ArgumentError", "", "--bogus"},
    {Phase::first_prompt, "FirstPrompt", "", nullptr},
    {Phase::mid_task, "MidTask", "+ 1", nullptr},
    {Phase::pause, "Pause", "+ 1 2", nullptr},
    {Phase::end_of_input, "EndOfInput", "+ 1 2\n* 6 7\n", nullptr},
};

// Where a standard stream leads. Standard input is either the phase's text
// in a pipe or closed; standard output and error may be any of these.
enum class Stream { pipe, closed, full_device, pipe_without_reader, file_beyond_size_limit, terminal };

constexpr Stream kBrokenOutputs[] = {Stream::closed, Stream::full_device, Stream::pipe_without_reader,
                                     Stream::file_beyond_size_limit};

const char* name_of(Stream stream) {
  switch (stream) {
    case Stream::pipe: return "Pipe";
    case Stream::closed: return "Closed";
    case Stream::full_device: return "Full";
    case Stream::pipe_without_reader: return "PipeWithoutReader";
    case Stream::file_beyond_size_limit: return "FileBeyondLimit";
    case Stream::terminal: return "Terminal";
  }
  return "";
}

struct Wiring {
  const char* locale = "C";
  const char* term = "xterm";
  const char* input = "";  // nullptr: standard input closed
  const char* argument = nullptr;
  Stream output = Stream::pipe;
  Stream error = Stream::pipe;
  bool broken_pipes_ignored = false;  // SIGPIPE
  bool size_limit_ignored = false;    // SIGXFSZ
};

struct Ending {
  int status = 0;  // the exit status, where no signal ends the program
  int signal = 0;
  std::string errors;  // everything standard error receives, where the test reads it
};

struct Cell {
  std::string name;
  Wiring run;
  Ending expected;
};

void PrintTo(const Cell& cell, std::ostream* os) { *os << cell.name; }

// What a write to a broken stream does: ends the program by a signal, or
// fails with the cause named.
struct WriteFailure {
  int signal;
  std::string cause;
};

WriteFailure write_to(Stream stream, const Wiring& run) {
  switch (stream) {
    case Stream::closed: return {0, "Bad file descriptor"};
    case Stream::full_device: return {0, "No space left on device"};
    case Stream::pipe_without_reader:
      return run.broken_pipes_ignored ? WriteFailure{0, "Broken pipe"} : WriteFailure{SIGPIPE, ""};
    case Stream::file_beyond_size_limit:
      return run.size_limit_ignored ? WriteFailure{0, "File too large"} : WriteFailure{SIGXFSZ, ""};
    case Stream::pipe:
    case Stream::terminal: break;
  }
  return {0, ""};
}

bool broken(Stream stream) { return stream != Stream::pipe && stream != Stream::terminal; }

// The rules. An unknown argument is answered on standard error before
// anything is read or written. Otherwise the first prompt is written before
// the first read (whoever answers may be waiting for it), so a broken
// output fails before a closed input does; then the phase decides. Whatever
// the program has to say then goes to standard error, where a broken stream
// swallows it and leaves the status 2 to tell.
Ending expected_ending(const Wiring& run, Phase phase) {
  std::string line;
  int status = 0;
  if (phase == Phase::argument_error) {
    line = unknown_argument_line(run.argument);
    status = 2;
  } else if (broken(run.output)) {
    const WriteFailure failure = write_to(run.output, run);
    if (failure.signal != 0) {
      return {0, failure.signal, ""};
    }
    line = kWriteFailed + failure.cause + "\n";
    status = 2;
  } else if (run.input == nullptr) {
    line = kReadFailed + "Bad file descriptor\n";
    status = 2;
  } else if (phase == Phase::mid_task) {
    line = kIncomplete;
    status = 1;
  }
  if (line.empty() || !broken(run.error)) {
    return {status, 0, line};
  }
  const WriteFailure failure = write_to(run.error, run);
  if (failure.signal != 0) {
    return {0, failure.signal, ""};
  }
  return {2, 0, ""};
}

std::string cell_name(const PhaseRun& phase, const Wiring& run) {
  std::string name = std::string(phase.name) + "_Input" + (run.input == nullptr ? "Closed" : "Piped") + "_Output" +
                     name_of(run.output) + "_Error" + name_of(run.error);
  const bool pipes = run.output == Stream::pipe_without_reader || run.error == Stream::pipe_without_reader;
  const bool limits = run.output == Stream::file_beyond_size_limit || run.error == Stream::file_beyond_size_limit;
  if (pipes) name += run.broken_pipes_ignored ? "_SigpipeIgnored" : "_SigpipeDefault";
  if (limits) name += run.size_limit_ignored ? "_SigxfszIgnored" : "_SigxfszDefault";
  name += std::string("_") + run.locale;
  for (char& c : name) {
    if (c == '.' || c == '-') c = '_';
  }
  return name;
}

// Every phase, with standard input piped or closed, standard output and
// standard error each healthy or broken in each way, and the signals that a
// broken pipe or a size limit raise at their default and ignored wherever
// such a stream takes part; in the C locale, whose streams are the raw
// buffers, and in C.UTF-8, where the recoding buffers stand in front of them.
std::vector<Cell> failure_table() {
  std::vector<Stream> outputs = {Stream::pipe};
  outputs.insert(outputs.end(), std::begin(kBrokenOutputs), std::end(kBrokenOutputs));
  std::vector<Cell> cells;
  for (const char* locale : {"C", "C.UTF-8"}) {
    for (const PhaseRun& phase : kPhases) {
      for (const bool input_closed : {false, true}) {
        for (const Stream output : outputs) {
          for (const Stream error : outputs) {
            const bool pipes = output == Stream::pipe_without_reader || error == Stream::pipe_without_reader;
            const bool limits = output == Stream::file_beyond_size_limit || error == Stream::file_beyond_size_limit;
            for (const bool pipes_ignored : {false, true}) {
              for (const bool limits_ignored : {false, true}) {
                if ((pipes_ignored && !pipes) || (limits_ignored && !limits)) continue;
                Wiring run;
                run.locale = locale;
                run.input = input_closed ? nullptr : phase.input;
                run.argument = phase.argument;
                run.output = output;
                run.error = error;
                run.broken_pipes_ignored = pipes_ignored;
                run.size_limit_ignored = limits_ignored;
                cells.push_back({cell_name(phase, run), run, expected_ending(run, phase.phase)});
              }
            }
          }
        }
      }
    }
  }
  return cells;
}

// A pipe whose ends the program does not inherit, but for the one it is given.
void make_pipe(int ends[2]) { ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0); }

// Opens the end of `stream` that the program writes to; also the end the
// test reads, where there is one. -1 for a closed stream.
int open_sink(Stream stream, int terminal, int& read_end) {
  read_end = -1;
  int ends[2] = {-1, -1};
  switch (stream) {
    case Stream::pipe:
      make_pipe(ends);
      read_end = ends[0];
      return ends[1];
    case Stream::pipe_without_reader:
      make_pipe(ends);
      close(ends[0]);
      return ends[1];
    case Stream::closed: return -1;
    case Stream::full_device: return open("/dev/full", O_WRONLY | O_CLOEXEC);
    case Stream::file_beyond_size_limit: {
      char path[] = "/tmp/taschenrechner-stream-failure-XXXXXX";
      const int file = mkostemp(path, O_CLOEXEC);
      unlink(path);
      return file;
    }
    case Stream::terminal: return terminal;
  }
  return -1;
}

// A pseudo-terminal's master, and its slave's name, for the program to open.
struct PseudoTerminal {
  int master = -1;
  std::string slave;

  PseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
      ADD_FAILURE() << "no pseudo-terminal";
      return;
    }
    slave = ptsname(master);
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    ioctl(master, TIOCSWINSZ, &size);
  }
  ~PseudoTerminal() { close_master(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  void close_master() {
    if (master >= 0) close(master);
    master = -1;
  }
};

// In the forked child, before the program replaces it: the pseudo-terminal
// becomes its controlling terminal, with the child's session in the
// foreground, as a login shell's job has its terminal; so a hang-up there
// raises SIGHUP as at a real one.
int open_terminal_in_child(const std::string& slave) {
  setsid();
  return open(slave.c_str(), O_RDWR);
}

struct Started {
  pid_t child = -1;
  int output = -1;  // the test's end of standard output, where it reads one
  int errors = -1;  // and of standard error
};

// Starts the program as `run` says; `terminal` is the pseudo-terminal for
// the streams that lead to one, and `hang_ups_ignored` ignores SIGHUP
// before the program starts, as nohup does.
Started start(const Wiring& run, const PseudoTerminal* terminal = nullptr, bool input_from_terminal = false,
              bool hang_ups_ignored = false) {
  Started started;
  int input = -1;
  if (run.input != nullptr && !input_from_terminal) {
    int ends[2];
    make_pipe(ends);
    const std::string_view text = run.input;
    EXPECT_EQ(write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(ends[1]);
    input = ends[0];
  }
  const bool uses_terminal = input_from_terminal || run.output == Stream::terminal || run.error == Stream::terminal;
  constexpr int kTerminalMark = -2;  // opened by the child
  const int output = open_sink(run.output, kTerminalMark, started.output);
  const int errors = open_sink(run.error, kTerminalMark, started.errors);
  const bool limits = run.output == Stream::file_beyond_size_limit || run.error == Stream::file_beyond_size_limit;

  const pid_t test = getpid();
  started.child = fork();
  if (started.child == 0) {
    end_with_parent(test);
    const struct rlimit no_core_files {};
    setrlimit(RLIMIT_CORE, &no_core_files);
    int at_terminal = -1;
    if (uses_terminal && terminal != nullptr) {
      at_terminal = open_terminal_in_child(terminal->slave);
    }
    const auto place = [at_terminal](int file, int standard) {
      const int source = file == kTerminalMark ? at_terminal : file;
      source >= 0 ? dup2(source, standard) : close(standard);
    };
    place(input_from_terminal ? kTerminalMark : input, STDIN_FILENO);
    place(output, STDOUT_FILENO);
    place(errors, STDERR_FILENO);
    if (at_terminal > STDERR_FILENO) close(at_terminal);
    signal(SIGPIPE, run.broken_pipes_ignored ? SIG_IGN : SIG_DFL);
    signal(SIGXFSZ, run.size_limit_ignored ? SIG_IGN : SIG_DFL);
    signal(SIGHUP, hang_ups_ignored ? SIG_IGN : SIG_DFL);
    if (limits) {
      // Not a byte: the first write into the file fails, whichever stream it is.
      const struct rlimit no_bytes {};
      setrlimit(RLIMIT_FSIZE, &no_bytes);
    }
    std::string locale = std::string("LC_ALL=") + run.locale;
    std::string term = std::string("TERM=") + run.term;
    char no_leak_check[] = "ASAN_OPTIONS=detect_leaks=0";
    char* environment[] = {locale.data(), term.data(), no_leak_check, nullptr};
    exec_program(environment, run.argument);
    _exit(127);
  }
  for (const int file : {input, output, errors}) {
    if (file >= 0) close(file);
  }
  return started;
}

std::chrono::steady_clock::time_point deadline() { return std::chrono::steady_clock::now() + patience(); }

int milliseconds_until(std::chrono::steady_clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

// Reads each file until its writers are gone (a terminal's master: until
// its slave is closed), all at the same time, so that no writer waits on a
// full pipe; gives up when the test's patience runs out.
std::vector<std::string> read_until_closed(const std::vector<int>& files) {
  std::vector<std::string> texts(files.size());
  std::vector<struct pollfd> open_files;
  open_files.reserve(files.size());
  for (const int file : files) {
    open_files.push_back({file, POLLIN, 0});
  }
  const auto end = deadline();
  for (;;) {
    std::size_t still_open = 0;
    for (const struct pollfd& file : open_files) {
      still_open += file.fd >= 0 ? 1 : 0;
    }
    if (still_open == 0 || poll(open_files.data(), open_files.size(), milliseconds_until(end)) <= 0) {
      return texts;
    }
    for (std::size_t i = 0; i < open_files.size(); ++i) {
      if (open_files[i].fd < 0 || open_files[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(open_files[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        texts[i].append(buffer, static_cast<std::size_t>(got));
      } else {
        open_files[i].fd = -1;
      }
    }
  }
}

// The program's wait status once it has ended; -1 if it runs on past the
// test's patience (then it is killed).
int wait_for_end(pid_t child) {
  const auto end = deadline();
  int status = 0;
  while (waitpid(child, &status, WNOHANG) != child) {
    if (std::chrono::steady_clock::now() > end) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      return -1;
    }
    std::this_thread::sleep_for(1ms);
  }
  return status;
}

void expect_ending(int wait_status, const Ending& expected) {
  ASSERT_NE(wait_status, -1) << "the program did not end";
  if (expected.signal != 0) {
    ASSERT_TRUE(WIFSIGNALED(wait_status)) << "status " << WEXITSTATUS(wait_status);
    EXPECT_EQ(WTERMSIG(wait_status), expected.signal) << strsignal(WTERMSIG(wait_status));
  } else {
    ASSERT_TRUE(WIFEXITED(wait_status)) << "signal " << strsignal(WTERMSIG(wait_status));
    EXPECT_EQ(WEXITSTATUS(wait_status), expected.status);
  }
}

class BrokenStreams : public testing::TestWithParam<Cell> {};

TEST_P(BrokenStreams, EndAsTheirFailuresCallFor) {
  const Cell& cell = GetParam();
  const Started started = start(cell.run);
  ASSERT_GT(started.child, 0);
  const std::vector<std::string> texts = read_until_closed({started.output, started.errors});
  for (const int file : {started.output, started.errors}) {
    if (file >= 0) close(file);
  }
  expect_ending(wait_for_end(started.child), cell.expected);
  if (started.errors >= 0) {
    EXPECT_EQ(texts[1], cell.expected.errors);
  }
  // Where output works, the first prompt comes before anything is read,
  // and the answer to an unknown argument writes nothing there.
  if (started.output >= 0 && cell.run.argument == nullptr) {
    EXPECT_TRUE(texts[0].starts_with(kAsk)) << texts[0];
  } else if (started.output >= 0) {
    EXPECT_EQ(texts[0], "");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenStreams, testing::ValuesIn(failure_table()),
                         [](const auto& info) { return info.param.name; });

// Standard output and standard error where one of them is a terminal: the
// terminal shows what it can (the letters in UTF-8, or Ue and ae in the C
// locale), a pipe keeps the bytes as the locale has them (CP850 in the C
// locale), whatever the other stream is. The argument carries ü, typed in
// UTF-8 or as CP850's byte.
struct LetterCase {
  const char* name;
  const char* locale;
  const char* argument;
  Stream output;
  Stream error;
  std::string error_line;  // byte for byte, where standard error leads
};

const LetterCase kLetterCases[] = {
    {"Utf8ErrorOnTerminalOutputOnPipe", "C.UTF-8", "--\xc3\xbc", Stream::pipe, Stream::terminal,
     unknown_argument_line("--\xc3\xbc", "\r\n")},
    {"Utf8ErrorOnPipeOutputOnTerminal", "C.UTF-8", "--\xc3\xbc", Stream::terminal, Stream::pipe,
     unknown_argument_line("--\xc3\xbc")},
    {"Utf8BothOnPipes", "C.UTF-8", "--\xc3\xbc", Stream::pipe, Stream::pipe, unknown_argument_line("--\xc3\xbc")},
    // Bytes the C locale cannot decode (CP850's ü, or UTF-8) are escaped
    // wherever standard error leads, never shown as other letters; the
    // program's own Ü and ä are replaced at a terminal, CP850 in a pipe.
    {"CErrorOnTerminalOutputOnPipe", "C", "\x81", Stream::pipe, Stream::terminal,
     extra_argument_line("Ueberzaehliges", "\\x81", "\r\n")},
    {"CErrorOnPipeOutputOnTerminal", "C", "\x81", Stream::terminal, Stream::pipe,
     extra_argument_line("\x9a"
                         "berz"
                         "\x84"
                         "hliges",
                         "\\x81")},
    {"CBothOnPipes", "C", "\x81", Stream::pipe, Stream::pipe,
     extra_argument_line("\x9a"
                         "berz"
                         "\x84"
                         "hliges",
                         "\\x81")},
    {"CUtf8BytesErrorOnTerminal", "C", "--\xc3\xbc", Stream::pipe, Stream::terminal,
     unknown_argument_line("--\\xc3\\xbc", "\r\n")},
    {"CUtf8BytesErrorOnPipeOutputOnTerminal", "C", "--\xc3\xbc", Stream::terminal, Stream::pipe,
     unknown_argument_line("--\\xc3\\xbc")},
};

void PrintTo(const LetterCase& c, std::ostream* os) { *os << c.name; }

class LettersOnStandardError : public testing::TestWithParam<LetterCase> {};

TEST_P(LettersOnStandardError, ReachTerminalsAndPipesAsEachShows) {
  const LetterCase& c = GetParam();
  PseudoTerminal terminal;
  ASSERT_GE(terminal.master, 0);
  Wiring run;
  run.locale = c.locale;
  run.argument = c.argument;
  run.output = c.output;
  run.error = c.error;
  const Started started = start(run, &terminal);
  ASSERT_GT(started.child, 0);
  const int error_source = c.error == Stream::terminal ? terminal.master : started.errors;
  const std::vector<std::string> texts = read_until_closed({error_source, started.output});
  for (const int file : {started.output, started.errors}) {
    if (file >= 0) close(file);
  }
  expect_ending(wait_for_end(started.child), {2, 0, ""});
  EXPECT_EQ(texts[0], c.error_line);
  if (c.output == Stream::pipe) {
    EXPECT_EQ(texts[1], "");
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, LettersOnStandardError, testing::ValuesIn(kLetterCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Standard error broken beside a terminal for output: the recoding buffer
// in front of standard error (the C.UTF-8 rows) passes the failure on, and
// the program still ends with status 2 rather than by a signal.
struct BesideTerminalCase {
  const char* name;
  const char* locale;
  const char* input;
  const char* argument;
  Stream error;
};

const BesideTerminalCase kBesideTerminalCases[] = {
    {"ArgumentErrorOnFullDeviceUtf8", "C.UTF-8", "", "--\xc3\xbc", Stream::full_device},
    {"MidTaskOnFullDeviceUtf8", "C.UTF-8", "+ 1", nullptr, Stream::full_device},
    {"MidTaskClosedUtf8", "C.UTF-8", "+ 1", nullptr, Stream::closed},
    {"MidTaskOnFullDeviceC", "C", "+ 1", nullptr, Stream::full_device},
    {"ArgumentErrorClosedC", "C", "", "--\x81", Stream::closed},
};

void PrintTo(const BesideTerminalCase& c, std::ostream* os) { *os << c.name; }

class BrokenErrorBesideTerminal : public testing::TestWithParam<BesideTerminalCase> {};

TEST_P(BrokenErrorBesideTerminal, EndsWithStatusTwo) {
  const BesideTerminalCase& c = GetParam();
  PseudoTerminal terminal;
  ASSERT_GE(terminal.master, 0);
  Wiring run;
  run.locale = c.locale;
  run.input = c.input;
  run.argument = c.argument;
  run.output = Stream::terminal;
  run.error = c.error;
  const Started started = start(run, &terminal);
  ASSERT_GT(started.child, 0);
  const std::vector<std::string> texts = read_until_closed({terminal.master});
  expect_ending(wait_for_end(started.child), {2, 0, ""});
  if (c.argument == nullptr) {
    EXPECT_NE(texts[0].find(kAsk), std::string::npos) << texts[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Streams, BrokenErrorBesideTerminal, testing::ValuesIn(kBesideTerminalCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The terminal goes away (its master closed) while the program waits at it,
// SIGHUP ignored as under nohup. The kernel may hand the waiting read the
// end of the input or EIO, whichever comes first of the other side's close
// and the hang-up; either way the program ends as at the end of its input
// or names EIO, and what it writes to the terminal afterwards fails with
// EIO. A cause the system has no error for ("Success") is never named.
struct HangUpCase {
  const char* name;
  const char* term;
  const char* keys;           // typed once the first prompt shows
  std::string_view waits_at;  // the prompt shown when the terminal goes
  int status_at_end;          // as if the input ended there
};

const HangUpCase kHangUpCases[] = {
    {"FirstPromptEditing", "xterm", "", kAsk, 0},
    {"MidTaskEditing", "xterm", "+ 1\r", kSecondNumberPrompt, 1},
    {"PauseEditing", "xterm", "+ 1 2\r", kPausePrompt, 0},
    {"FirstPromptLineMode", "dumb", "", kAsk, 0},
    {"MidTaskLineMode", "dumb", "+ 1\n", kSecondNumberPrompt, 1},
    {"PauseLineMode", "dumb", "+ 1 2\n", kPausePrompt, 0},
};

void PrintTo(const HangUpCase& c, std::ostream* os) { *os << c.name; }

// Reads the master until `text` has arrived.
bool wait_for_text(int master, std::string& seen, std::string_view text) {
  const auto end = deadline();
  while (seen.find(text) == std::string::npos) {
    struct pollfd ready {
      master, POLLIN, 0
    };
    char buffer[4096];
    if (poll(&ready, 1, milliseconds_until(end)) <= 0) return false;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

class HungUpTerminal : public testing::TestWithParam<HangUpCase> {};

TEST_P(HungUpTerminal, EndsAsAtTheEndOfInputOrNamesTheCause) {
  const HangUpCase& c = GetParam();
  PseudoTerminal terminal;
  ASSERT_GE(terminal.master, 0);
  Wiring run;
  run.term = c.term;
  run.output = Stream::terminal;
  run.error = Stream::pipe;
  const Started started = start(run, &terminal, true, true);
  ASSERT_GT(started.child, 0);
  std::string seen;
  ASSERT_TRUE(wait_for_text(terminal.master, seen, kAsk)) << seen;
  const std::string_view keys = c.keys;
  if (!keys.empty()) {
    ASSERT_EQ(write(terminal.master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    ASSERT_TRUE(wait_for_text(terminal.master, seen, c.waits_at)) << seen;
  }
  terminal.close_master();
  const std::string errors = read_until_closed({started.errors})[0];
  close(started.errors);
  const int status = wait_for_end(started.child);
  ASSERT_NE(status, -1) << "the program did not end";
  ASSERT_TRUE(WIFEXITED(status)) << strsignal(WTERMSIG(status));
  EXPECT_EQ(errors.find("Success"), std::string::npos) << errors;
  const std::vector<Ending> endings = {
      {c.status_at_end, 0, c.status_at_end == 1 ? kIncomplete : ""},
      {2, 0, kReadFailed + "Input/output error\n"},
      {2, 0, kWriteFailed + "Input/output error\n"},
  };
  EXPECT_TRUE(std::any_of(
      endings.begin(), endings.end(),
      [&](const Ending& ending) { return ending.status == WEXITSTATUS(status) && ending.errors == errors; }))
      << "status " << WEXITSTATUS(status) << ", standard error: " << errors;
}

INSTANTIATE_TEST_SUITE_P(Terminal, HungUpTerminal, testing::ValuesIn(kHangUpCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
