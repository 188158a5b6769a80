// Runs the built program at every terminal the terminfo database on this
// machine describes, and checks that each one gets what its own entry
// holds, as the terminfo library itself puts it out: the program's own
// screen, the window title and the clearing only where the entry has them,
// and its padding never as text or as pad characters.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../../terminal/loaded_library.hpp"
#include "../program_command.hpp"

namespace {

using namespace std::chrono_literals;

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kPausePrompt = "cken Sie eine beliebige Taste . . . ";
constexpr std::string_view kSetTitle = "\x1b]0;Einfacher Taschenrechner\x07";
constexpr std::string_view kSaveTitle = "\x1b[22;0t";
constexpr std::string_view kRestoreTitle = "\x1b[23;0t";

#ifdef PROGRAM_UNDER_ADDRESS_SANITIZER
constexpr bool kProgramSlowed = true;
#else
constexpr bool kProgramSlowed = kProgramEmulated;
#endif

// Where ncurses looks for compiled entries, as Debian builds it.
constexpr const char* kDatabaseFolders[] = {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo"};

// The compiled tree files each entry under its first character: a folder
// of that character, or of its code in two hex digits where file names
// ignore case.
bool is_initial_folder(const std::string& name) {
  const auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  return name.size() == 1 || (name.size() == 2 && hex(name[0]) && hex(name[1]));
}

// Every entry installed, by the name of the file that holds it, once: the
// aliases are links to such files.
std::vector<std::string> installed_entries() {
  std::set<std::filesystem::path> files;
  std::set<std::string> names;
  std::error_code error;
  for (const char* folder : kDatabaseFolders) {
    for (const auto& initial : std::filesystem::directory_iterator(folder, error)) {
      if (!is_initial_folder(initial.path().filename()) || !initial.is_directory(error)) continue;
      for (const auto& file : std::filesystem::directory_iterator(initial.path(), error)) {
        const std::filesystem::path held = std::filesystem::canonical(file.path(), error);
        if (!error && std::filesystem::is_regular_file(held, error) && files.insert(held).second) {
          names.insert(held.filename());
        }
      }
    }
  }
  return {names.begin(), names.end()};
}

// Always swept, wherever the sweep takes a sample: the terminals users
// have most, and entries whose padding the terminal must never see (by the
// line speed, and mandatory).
constexpr std::string_view kAlwaysSwept[] = {"vt100", "vt102", "xterm", "linux", "screen",  "tmux",
                                             "dumb",  "rxvt",  "c100",  "adm3a", "apple-80"};

// Under an emulator or a sanitizer each start of the program costs many
// times as much: there every 30th entry stands for the others.
std::vector<std::string> entries_to_sweep() {
  std::vector<std::string> installed = installed_entries();
  if (!kProgramSlowed) return installed;
  std::vector<std::string> sample;
  for (std::size_t index = 0; index < installed.size(); ++index) {
    const bool always =
        std::find(std::begin(kAlwaysSwept), std::end(kAlwaysSwept), installed[index]) != std::end(kAlwaysSwept);
    if (index % 30 == 0 || always) sample.push_back(installed[index]);
  }
  return sample;
}

// The terminfo library, loaded as the program loads it: a cross build's
// target libraries have neither its header nor its link library.
struct Terminal;
struct Terminfo {
  int (*setupterm)(const char*, int, int*) = nullptr;
  char* (*tigetstr)(const char*) = nullptr;
  int (*tigetflag)(const char*) = nullptr;
  char* (*tiparm)(const char*, ...) = nullptr;
  int (*tputs)(const char*, int, int (*)(int)) = nullptr;
  int (*del_curterm)(Terminal*) = nullptr;
  Terminal** cur_term = nullptr;
  short* ospeed = nullptr;
  const char* const* strnames = nullptr;  // the string capabilities' names
};

std::optional<Terminfo> load_terminfo() {
  Terminfo terminfo;
  void* library = dlopen("libtinfo.so.6", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr || !terminal::find_function(library, "setupterm", terminfo.setupterm) ||
      !terminal::find_function(library, "tigetstr", terminfo.tigetstr) ||
      !terminal::find_function(library, "tigetflag", terminfo.tigetflag) ||
      !terminal::find_function(library, "tiparm", terminfo.tiparm) ||
      !terminal::find_function(library, "tputs", terminfo.tputs) ||
      !terminal::find_function(library, "del_curterm", terminfo.del_curterm) ||
      !terminal::find_function(library, "cur_term", terminfo.cur_term) ||
      !terminal::find_function(library, "ospeed", terminfo.ospeed) ||
      !terminal::find_function(library, "strnames", terminfo.strnames)) {
    return std::nullopt;
  }
  return terminfo;
}

// The entry's string capability as it stands; empty where it has none.
std::string capability(const Terminfo& terminfo, const char* name) {
  const char* value = terminfo.tigetstr(name);
  const auto* not_a_string = reinterpret_cast<const char*>(-1);  // NOLINT(performance-no-int-to-ptr)
  return value == nullptr || value == not_a_string ? std::string() : std::string(value);
}

std::string put_out;  // where tputs's plain output function writes

int put_out_character(int character) {
  put_out.push_back(static_cast<char>(character));
  return character;
}

// The capability as tputs puts it out at line speed 0, which counts no pad
// characters for any padding: the bare sequence.
std::string bare_text(const Terminfo& terminfo, const std::string& raw) {
  put_out.clear();
  *terminfo.ospeed = 0;
  if (!raw.empty()) terminfo.tputs(raw.c_str(), 1, put_out_character);
  return put_out;
}

std::string bare_sequence(const Terminfo& terminfo, const char* name) {
  return bare_text(terminfo, capability(terminfo, name));
}

// The pseudo-terminal's line discipline sends each line feed written to it
// as CR LF (ONLCR, as a terminal is set by default and as the program
// leaves it): so the sequences arrive, whoever writes them.
std::string as_received(std::string_view written) {
  std::string received;
  for (const char c : written) {
    if (c == '\n') received.push_back('\r');
    received.push_back(c);
  }
  return received;
}

// What the terminal named `term` is to get, from its entry.
struct Expected {
  std::string term;
  bool titled = false;
  std::string save_title;
  std::string set_title;  // with the program's title
  std::string start;      // before the first prompt
  std::string next_pass;  // after the pause's key and line end, before the next prompt
  std::string end;        // the last bytes
};

// A title only where the user's comes back: xterm's title stack (XT), a
// status line the entry can switch off again (hs, tsl, dsl; tsl takes the
// column, the first), or GNU screen by name, whose hardstatus is emptied.
void expect_title(const Terminfo& terminfo, const std::string& term, Expected& expected) {
  const std::string title = "Einfacher Taschenrechner";
  const char* tsl_filled = terminfo.tiparm(capability(terminfo, "tsl").c_str(), 0);
  const std::string tsl = bare_text(terminfo, tsl_filled != nullptr ? tsl_filled : "");
  const bool title_as_status_line =
      tsl.starts_with("\x1b]0;") || tsl.starts_with("\x1b]1;") || tsl.starts_with("\x1b]2;");
  if (term.starts_with("tmux") || (terminfo.tigetflag("XT") > 0 && !term.starts_with("screen"))) {
    expected.save_title = kSaveTitle;
    expected.set_title = kSetTitle;
    expected.end = kRestoreTitle;
  } else if (term.starts_with("screen")) {
    expected.set_title = kSetTitle;
    expected.end = "\x1b_\x1b\\";
  } else if (terminfo.tigetflag("hs") > 0 && !tsl.empty() && !capability(terminfo, "dsl").empty() &&
             !title_as_status_line) {
    expected.set_title = tsl + title + bare_sequence(terminfo, "fsl");
    expected.end = bare_sequence(terminfo, "dsl");
  }
  expected.titled = !expected.set_title.empty();
}

// Looks the entry up as the program does: one the library cannot use
// (generic or hardcopy) is a dumb terminal, which gets no sequences.
Expected expected_at(const Terminfo& terminfo, const std::string& term) {
  Expected expected;
  expected.term = term;
  int found = 0;
  const bool known = term != "dumb" && terminfo.setupterm(term.c_str(), STDOUT_FILENO, &found) == 0 && found == 1;
  if (known) {
    std::string enter = bare_sequence(terminfo, "smcup");
    std::string leave = bare_sequence(terminfo, "rmcup");
    if (enter.empty() || leave.empty()) {
      enter.clear();
      leave.clear();
    }
    expect_title(terminfo, term, expected);
    if (!enter.empty()) expected.start = enter + bare_sequence(terminfo, "home");
    expected.next_pass = bare_sequence(terminfo, "clear");
    expected.start.append(expected.save_title).append(expected.set_title);
    expected.next_pass.append(expected.set_title);
    expected.end += leave;
    expected.set_title = as_received(expected.set_title);
    expected.start = as_received(expected.start);
    expected.next_pass = as_received(expected.next_pass);
    expected.end = as_received(expected.end);
  }
  if (*terminfo.cur_term != nullptr) terminfo.del_curterm(*terminfo.cur_term);
  return expected;
}

// One start at a time, and both ends of each pseudo-terminal closed on
// exec before another start can fork: no program holds another's open.
std::mutex starting;

// The program in a pseudo-terminal of 80 x 24 with TERM set; killed and
// reaped if left running.
struct Session {
  int master = -1;
  pid_t child = -1;
  std::string seen;  // everything the terminal received so far
  std::size_t mark = 0;

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  explicit Session(const std::string& term) {
    const std::string entries[] = {"TERM=" + term, "LC_ALL=C", "PATH=/usr/bin:/bin"};
    char* environment[std::size(entries) + 1] = {};
    std::transform(std::begin(entries), std::end(entries), environment,
                   [](const std::string& entry) { return const_cast<char*>(entry.c_str()); });
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 80;
    const std::lock_guard<std::mutex> one_start(starting);
    int terminal = -1;
    if (openpty(&master, &terminal, nullptr, nullptr, &size) != 0) return;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(terminal, F_SETFD, FD_CLOEXEC);
    const pid_t test = getpid();
    child = fork();
    if (child == 0) {
      // Killed when the thread that forked it ends (the parent death
      // signal follows the thread); that thread reaps it before it does.
      end_with_parent(test);
      login_tty(terminal);
      exec_program(environment);
      _exit(127);
    }
    close(terminal);
  }

  ~Session() {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    if (master >= 0) close(master);
  }

  bool read_some(std::chrono::milliseconds limit) {
    struct pollfd ready {
      master, POLLIN, 0
    };
    if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0) return false;
    char buffer[4096];
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  // Reads until `text` arrives after the mark, then moves the mark past it.
  bool wait_for(std::string_view text) {
    const auto deadline = std::chrono::steady_clock::now() + patience();
    for (;;) {
      const std::size_t at = seen.find(text, mark);
      if (at != std::string::npos) {
        mark = at + text.size();
        return true;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left <= 0ms || !read_some(left)) return false;
    }
  }

  bool type(std::string_view keys) const {
    return write(master, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
  }

  // The program's wait status once it has ended and all it wrote is read;
  // -1 if it runs on.
  int wait_for_end() {
    const auto deadline = std::chrono::steady_clock::now() + patience();
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
      if (std::chrono::steady_clock::now() > deadline) return -1;
      read_some(10ms);
    }
    child = -1;
    while (read_some(0ms)) {
    }
    return status;
  }
};

// What one run gave: all the terminal received, how the program ended,
// and the state it did not reach, if any.
struct Outcome {
  std::string seen;
  int status = -1;
  std::string stuck_before;
};

// One task, the pause's key, and Ctrl+D at the next pass's first prompt.
Outcome run_at(const std::string& term) {
  Session session(term);
  Outcome run;
  if (session.child < 0) run.stuck_before = "a pseudo-terminal and a process";
  const auto reached = [&](std::string_view state, std::string_view text, std::string_view then_type) {
    if (!run.stuck_before.empty()) return;
    if (!session.wait_for(text) || !session.type(then_type)) run.stuck_before = state;
  };
  reached("the first prompt", kAsk, "+ 1 2\r");
  reached("the pause", kPausePrompt, "k");
  reached("the next pass's prompt", kAsk, "\x04");
  if (run.stuck_before.empty()) {
    run.status = session.wait_for_end();
    if (run.status == -1) run.stuck_before = "the end";
  }
  run.seen = session.seen;
  return run;
}

std::size_t count_of(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

// Text as the dialog writes it in the C locale: printable ASCII in lines.
bool is_plain_text(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= ' ' && c <= '~') || c == '\r' || c == '\n'; });
}

// Each way in which the run differs from what the entry holds, one a line;
// empty where it does not. The terminal is to get the start, the dialog's
// text, the pause's line end, the next pass's sequences, text again and
// the end, and nothing else.
std::string differences(const Expected& expected, const Outcome& run) {
  std::string found;
  const auto unless = [&found](bool holds, const std::string& what) {
    if (!holds) found += "  " + what + "\n";
  };
  if (!run.stuck_before.empty()) {
    found += "  stuck before " + run.stuck_before + "\n";
  } else {
    unless(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0,
           "ended with wait status " + std::to_string(run.status));
  }
  const std::string_view seen = run.seen;
  unless(seen.find("$<") == std::string_view::npos, "padding shown as text");
  const std::string start = expected.start + std::string(kAsk);
  unless(seen.starts_with(start), "the start is not " + testing::PrintToString(expected.start));
  const std::size_t pause = seen.find(kPausePrompt);
  const std::string next_pass = "\r\n" + expected.next_pass + std::string(kAsk);
  const bool next_pass_found =
      pause != std::string_view::npos && seen.substr(pause + kPausePrompt.size()).starts_with(next_pass);
  unless(next_pass_found, "the next pass does not start with " + testing::PrintToString(next_pass));
  unless(seen.ends_with(expected.end), "the end is not " + testing::PrintToString(expected.end));
  if (found.empty()) {
    const std::size_t second_pass = pause + kPausePrompt.size() + next_pass.size();
    unless(second_pass <= seen.size() - expected.end.size() &&
               is_plain_text(seen.substr(start.size(), pause + kPausePrompt.size() - start.size())) &&
               is_plain_text(seen.substr(second_pass, seen.size() - expected.end.size() - second_pass)),
           "more than text between the sequences");
  }
  if (expected.titled) {
    unless(count_of(seen, expected.set_title) == 2 &&
               (expected.save_title.empty() || count_of(seen, expected.save_title) == 1),
           "the title not saved, set twice and given back");
  } else {
    unless(count_of(seen, kSaveTitle) == 0 && count_of(seen, kRestoreTitle) == 0 &&
               seen.find("Einfacher Taschenrechner") == std::string_view::npos,
           "a title where none can be given back");
  }
  return found;
}

// The premise of the sweep: the expectations are the bare sequences,
// whatever padding the entry asks for.
struct BareCase {
  const char* term;
  const char* capability;
  std::string_view padding;  // as the entry holds it
  std::string_view bare;
};

TEST(TerminfoSweep, TheExpectationsAreTheSequencesWithoutTheirPadding) {
  const std::optional<Terminfo> terminfo = load_terminfo();
  ASSERT_TRUE(terminfo) << dlerror();
  const BareCase cases[] = {
      {"vt100", "clear", "$<50>", "\x1b[H\x1b[J"},
      {"adm3a", "clear", "$<1/>", "\x1a"},                         // mandatory
      {"apple-80", "clear", "$<10*/>", "\x0c"},                    // mandatory, for each line
      {"c100", "rmcup", "$<6>", "\x1bv    \x1bp\r\n"},             // where 9600 baud and more need it
      {"c100", "smcup", "$<16>", "\x1bU\x1bv  8p\x1bp\r\x1b\x15"}  // in the middle
  };
  for (const BareCase& c : cases) {
    SCOPED_TRACE(std::string(c.term) + " " + c.capability);
    int found = 0;
    ASSERT_EQ(terminfo->setupterm(c.term, STDOUT_FILENO, &found), 0) << "no entry (package ncurses-term)";
    EXPECT_NE(capability(*terminfo, c.capability).find(c.padding), std::string::npos);
    EXPECT_EQ(bare_sequence(*terminfo, c.capability), c.bare);
    terminfo->del_curterm(*terminfo->cur_term);
  }
}

TEST(TerminfoSweep, TakesEveryEntryInstalledOnce) {
  const std::vector<std::string> entries = installed_entries();
  const std::set<std::string> names(entries.begin(), entries.end());
  EXPECT_EQ(names.size(), entries.size());
  // ncurses-term has some 1,800 entries, ncurses-base alone some 50.
  EXPECT_GT(entries.size(), 1000u) << "package ncurses-term installed?";
  const std::vector<std::string> swept = entries_to_sweep();
  const std::set<std::string> swept_names(swept.begin(), swept.end());
  EXPECT_EQ(swept_names.size(), swept.size()) << "each entry once";
  EXPECT_TRUE(std::includes(names.begin(), names.end(), swept_names.begin(), swept_names.end()));
  for (const std::string_view term : kAlwaysSwept) {
    EXPECT_TRUE(swept_names.contains(std::string(term))) << term << " (packages ncurses-base, ncurses-term)";
  }
  if (!kProgramSlowed) {
    EXPECT_EQ(swept, entries);
  }
}

// Every entry, several programs at a time (each mostly waits). A run
// stuck in a state waits out its patience; after a few such runs the sweep
// starts no more, or a fault that stops every run would take hours.
TEST(TerminfoSweep, EachTerminalGetsWhatItsEntryHolds) {
  const std::optional<Terminfo> terminfo = load_terminfo();
  ASSERT_TRUE(terminfo) << dlerror();
  const std::vector<std::string> entries = entries_to_sweep();
  std::vector<Expected> expected;
  expected.reserve(entries.size());
  for (const std::string& term : entries) expected.push_back(expected_at(*terminfo, term));

  constexpr int kStuckRunsToStopAt = 4;
  std::vector<std::optional<Outcome>> runs(entries.size());
  std::vector<std::string> found(entries.size());
  std::atomic<std::size_t> next{0};
  std::atomic<int> stuck{0};
  const auto sweep = [&] {
    for (std::size_t index = next++; index < entries.size() && stuck < kStuckRunsToStopAt; index = next++) {
      runs[index] = run_at(entries[index]);
      found[index] = differences(expected[index], *runs[index]);
      if (!runs[index]->stuck_before.empty()) ++stuck;
    }
  };
  const auto began = std::chrono::steady_clock::now();
  const unsigned at_a_time = std::clamp(2 * std::thread::hardware_concurrency(), 2u, 8u);
  std::vector<std::thread> sweepers;
  for (unsigned n = 0; n < at_a_time; ++n) sweepers.emplace_back(sweep);
  for (std::thread& sweeper : sweepers) sweeper.join();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);

  std::size_t swept = 0;
  std::size_t failed = 0;
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (!runs[index]) continue;
    ++swept;
    if (found[index].empty()) continue;
    // What the terminal received, for the first few only: a fault in
    // every entry would fill megabytes.
    if (++failed <= 5) found[index] += "  the terminal received " + testing::PrintToString(runs[index]->seen) + "\n";
    ADD_FAILURE() << "TERM=" << entries[index] << ":\n" << found[index];
  }
  std::cout << "swept " << swept << " of " << entries.size() << " entries in " << took.count() << " ms, " << at_a_time
            << " at a time; " << failed << " failed\n";
  EXPECT_EQ(swept, entries.size()) << "stopped after " << kStuckRunsToStopAt << " runs got stuck";
}

// Every key that an entry installed says its terminal sends as a CSI or
// SS3 sequence (ESC [ ... or ESC O ...), once each. Left out: the few that
// do not have the form of one, with a control byte within (ESC [ ^H, ESC [
// 1 u ^W), with no final byte (ESC [ 9), or with more after its end:
// ESC [ O P, and PF1 followed by a key of the keypad (ESC O P 1), which
// are two keys.
std::set<std::string> csi_and_ss3_keys(const Terminfo& terminfo) {
  std::set<std::string> keys;
  for (const std::string& term : installed_entries()) {
    int found = 0;
    const bool known = terminfo.setupterm(term.c_str(), STDOUT_FILENO, &found) == 0 && found == 1;
    for (const char* const* name = terminfo.strnames; known && *name != nullptr; ++name) {
      if (**name != 'k' || std::string_view(*name) == "kmous") continue;  // a mouse report is no key
      const std::string key = capability(terminfo, *name);
      const bool csi_or_ss3 = key.size() > 2 && key[0] == '\x1b' && (key[1] == '[' || key[1] == 'O');
      const bool in_form = csi_or_ss3 &&
                           std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= ' ' && c <= '~'; }) &&
                           !key.starts_with("\x1b[O") && !(key.starts_with("\x1bOP") && key.size() > 3) &&
                           key != "\x1b[9" && key != "\x1b[18" && key != "\x1b[%%" && key != "\x1b[[";
      if (in_form) keys.insert(key);
    }
    // Also where the entry is of no use (generic, hardcopy): the library
    // has set up a record for it all the same.
    if (*terminfo.cur_term != nullptr) terminfo.del_curterm(*terminfo.cur_term);
  }
  return keys;
}

// Each such key pressed at the pause is one key: the pause takes all of
// it, and the task typed right behind it is computed as typed. Under an
// emulator or a sanitizer every 10th key stands for the others.
TEST(TerminfoSweep, EveryCsiAndSs3KeyOfEveryEntryIsOneKeyAtThePause) {
  const std::optional<Terminfo> terminfo = load_terminfo();
  ASSERT_TRUE(terminfo) << dlerror();
  const std::set<std::string> all_keys = csi_and_ss3_keys(*terminfo);
  EXPECT_GT(all_keys.size(), 500u) << "package ncurses-term installed?";
  std::vector<std::string> keys;
  std::size_t index = 0;
  for (const std::string& key : all_keys) {
    if (!kProgramSlowed || index++ % 10 == 0) keys.push_back(key);
  }
  // A key not read whole leaves the program in a task of its own: a new
  // one goes on with the next key, up to a few such keys.
  constexpr std::size_t kNotOneKeyToStopAt = 5;
  std::vector<std::string> not_one_key;
  std::optional<Session> session;
  for (const std::string& key : keys) {
    if (!session) {
      session.emplace("xterm");
      ASSERT_TRUE(session->wait_for(kAsk));
      ASSERT_TRUE(session->type("* 6 7\r"));
    }
    if (!session->wait_for(kPausePrompt) || !session->type(key + "* 6 7\r") || !session->wait_for("6*7  ist: 42")) {
      not_one_key.push_back(key);
      session.reset();
      if (not_one_key.size() == kNotOneKeyToStopAt) break;
    }
  }
  EXPECT_EQ(not_one_key, std::vector<std::string>{});
  std::cout << keys.size() << " of " << all_keys.size() << " keys pressed\n";
}

}  // namespace
