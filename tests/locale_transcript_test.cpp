// The program's piped transcripts in the user's locale: the golden cases in
// every character set, and seeded tasks full of letters sent in pieces that
// break characters apart, against what the C locale gives for the same
// tasks in CP850; the same for input that begins with a byte-order mark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "program_command.hpp"
#include "test_locales.hpp"

namespace {

struct Ending {
  std::string output;
  std::string errors;
  int status = -1;
};

// The input in pieces, each written once the program has taken everything
// before it from the pipe, so that each piece comes to it in a read of its
// own; output and errors read all the while.
Ending run_program(const std::string& locale, const std::vector<std::string>& pieces,
                   const std::vector<std::string>& arguments = {}) {
  int in[2];
  int out[2];
  int err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    std::string locale_setting = "LC_ALL=" + locale;
    std::string locales = std::string("LOCPATH=") + TASCHENRECHNER_TEST_LOCALES;
    char no_leak_check[] = "ASAN_OPTIONS=detect_leaks=0";
    // LOCPATH only for the tests' own locales: see exit_status_test.cpp.
    char* environment[] = {locale_setting.data(), no_leak_check, is_test_locale(locale) ? locales.data() : nullptr,
                           nullptr};
    std::vector<const char*> command(std::begin(kProgramCommand), std::end(kProgramCommand) - 1);
    for (const std::string& argument : arguments) command.push_back(argument.c_str());
    command.push_back(nullptr);
    execve(command[0], const_cast<char* const*>(command.data()), environment);
    _exit(127);
  }
  for (const int fd : {in[0], out[1], err[1]}) close(fd);
  fcntl(in[1], F_SETFL, O_NONBLOCK);
  Ending run;
  std::size_t piece = 0;
  std::size_t written = 0;  // of the current piece
  bool output_open = true;
  bool errors_open = true;
  const auto deadline = std::chrono::steady_clock::now() + patience();
  while (output_open || errors_open) {
    if (in[1] >= 0 && piece == pieces.size()) {
      close(in[1]);
      in[1] = -1;
    }
    // The next piece only once the pipe is empty: the program has read all before it.
    int unread = 0;
    const bool may_write = in[1] >= 0 && (written > 0 || (ioctl(in[1], FIONREAD, &unread) == 0 && unread == 0));
    struct pollfd ready[] = {{output_open ? out[0] : -1, POLLIN, 0},
                             {errors_open ? err[0] : -1, POLLIN, 0},
                             {may_write ? in[1] : -1, POLLOUT, 0}};
    // Where the pipe still holds some of the last piece, the program is
    // soon to read it; the wait is short, to look again.
    const int waited = poll(ready, 3, in[1] >= 0 && !may_write ? 1 : 1000);
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the program took longer than a test waits";
      kill(child, SIGKILL);  // so that the wait for its end ends
      break;
    }
    if (waited < 0 && errno != EINTR) break;
    char buffer[1 << 16];
    for (const int i : {0, 1}) {
      if ((ready[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      const ssize_t got = read(ready[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? run.output : run.errors).append(buffer, static_cast<std::size_t>(got));
      } else {
        (i == 0 ? output_open : errors_open) = false;
      }
    }
    if ((ready[2].revents & POLLOUT) != 0) {
      const std::string& text = pieces[piece];
      const ssize_t put = write(in[1], text.data() + written, text.size() - written);
      if (put > 0) written += static_cast<std::size_t>(put);
      if (written == text.size()) {
        ++piece;
        written = 0;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

// `text` from one character set into another; where a character cannot be
// converted, `unknown` stands for it.
std::string convert(std::string_view text, const char* from, const char* to, char unknown = '?') {
  const iconv_t converter = iconv_open(to, from);
  EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << from << " to " << to;  // NOLINT(performance-no-int-to-ptr)
  std::string converted;
  std::string input(text);
  char* in = input.data();
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char buffer[256];
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    converted.append(buffer, static_cast<std::size_t>(out - buffer));
    if (result == static_cast<std::size_t>(-1) && errno == EILSEQ) {
      // One character, all its bytes, that the target lacks.
      const std::size_t length = (static_cast<unsigned char>(*in) & 0xf0) == 0xf0   ? 4
                                 : (static_cast<unsigned char>(*in) & 0xe0) == 0xe0 ? 3
                                 : (static_cast<unsigned char>(*in) & 0xc0) == 0xc0 ? 2
                                                                                    : 1;
      const std::size_t skipped = std::min(length, in_left);
      in += skipped;
      in_left -= skipped;
      converted += unknown;
    } else if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      ADD_FAILURE() << "cannot convert from " << from << ": " << errno;
      break;
    }
  }
  iconv_close(converter);
  return converted;
}

std::optional<std::string> file_text(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The golden cases of the C locale, whose input is ASCII: in another
// locale the program writes the same, its letters in that locale's
// character set, or as the CP850 bytes where the set lacks them.
struct LocaleCase {
  const char* locale;
  const char* charset;  // null: the set lacks the program's letters
};

void PrintTo(const LocaleCase& c, std::ostream* os) { *os << c.locale; }

class GoldenTranscripts : public testing::TestWithParam<LocaleCase> {};

TEST_P(GoldenTranscripts, AreTheCLocalesInTheLocalesCharacterSet) {
  const LocaleCase& c = GetParam();
  if (const std::string missing = missing_locale(c.locale); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  const auto in_locale = [&c](const std::string& text) {
    return c.charset != nullptr ? convert(text, "CP850", c.charset) : text;
  };
  int cases = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TASCHENRECHNER_GOLDEN_CASES)) {
    if (entry.path().extension() != ".in") continue;
    std::filesystem::path path = entry.path();
    const std::string name = path.stem().string();
    SCOPED_TRACE(name);
    std::vector<std::string> arguments;
    if (const auto listed = file_text(path.replace_extension(".args"))) {
      std::istringstream lines(*listed);
      for (std::string line; std::getline(lines, line);) arguments.push_back(line);
    }
    const Ending run = run_program(c.locale, {*file_text(path.replace_extension(".in"))}, arguments);
    EXPECT_EQ(run.output, in_locale(*file_text(path.replace_extension(".out"))));
    if (const auto errors = file_text(path.replace_extension(".err"))) {
      EXPECT_EQ(run.errors, in_locale(*errors));
    }
    EXPECT_EQ(std::to_string(run.status) + "\n", *file_text(path.replace_extension(".status")));
    ++cases;
  }
  EXPECT_GE(cases, 10);
}

INSTANTIATE_TEST_SUITE_P(Locales, GoldenTranscripts,
                         testing::Values(LocaleCase{"C.UTF-8", "UTF-8"}, LocaleCase{"de_DE.UTF-8", "UTF-8"},
                                         LocaleCase{"de_DE.ISO-8859-1", "ISO-8859-1"},
                                         LocaleCase{"ru_RU.KOI8-R", nullptr}),
                         [](const auto& info) {
                           std::string name = info.param.locale;
                           std::replace_if(
                               name.begin(), name.end(), [](char c) { return c == '.' || c == '-'; }, '_');
                           return name;
                         });

// Tasks as a user in a UTF-8 locale might pipe them, with letters where
// signs and numbers belong: ASCII, CP850's letters, and characters CP850
// lacks (of two, three and four bytes), among lines of every length.
std::string seeded_tasks(std::mt19937& random, int count) {
  constexpr std::array<std::string_view, 10> kLetters = {
      "\xc3\xa4",     "\xc3\xb6",     "\xc3\xbc",     "\xc3\x9f",         "\xc3\xa9",
      "\xe2\x94\x80", "\xe2\x82\xac", "\xe2\x86\x92", "\xf0\x9f\x98\x80", "\xc2\xa0"};
  constexpr std::array<std::string_view, 8> kSigns = {"+", "-", "*", "/", "+", "-", "*", "/"};
  const auto letter = [&] { return std::string(kLetters[random() % kLetters.size()]); };
  const auto number = [&] {
    std::string text = std::to_string(static_cast<int>(random() % 20000) - 10000);
    if (random() % 3 == 0) text += "." + std::to_string(random() % 100000);
    if (random() % 40 == 0) text.insert(random() % text.size(), letter());
    return text;
  };
  std::string tasks;
  for (int i = 0; i < count; ++i) {
    const std::string sign = random() % 10 == 0 ? letter() : std::string(kSigns[random() % kSigns.size()]);
    const char* const between = random() % 4 == 0 ? "\n" : " ";
    tasks += sign + between + number() + between + number() + "\n";
    if (random() % 25 == 0) tasks += std::string(random() % 200, ' ') + letter() + "\n";
  }
  return tasks + "+ 1 2\n";
}

// Cuts `text` into pieces of every size up to a little beyond the
// program's blocks, half of the cuts one byte into a character.
std::vector<std::string> cut_into_pieces(std::mt19937& random, const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = std::min(text.size(), start + 1 + random() % 9000);
    if (random() % 2 == 0) {
      const std::size_t lead = text.find_first_of("\xc2\xc3\xe2\xf0", end);
      if (lead != std::string::npos) end = lead + 1;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end;
  }
  return pieces;
}

class RecodingStorm : public testing::TestWithParam<int> {};

TEST_P(RecodingStorm, TasksInPiecesGiveWhatTheCLocaleGivesInCp850) {
  std::mt19937 random(static_cast<std::mt19937::result_type>(GetParam()));
  const std::string tasks = seeded_tasks(random, 1500);
  const std::vector<std::string> pieces = cut_into_pieces(random, tasks);
  const Ending in_c = run_program("C", {convert(tasks, "UTF-8", "CP850")});
  const Ending in_utf8 = run_program("C.UTF-8", pieces);
  ASSERT_EQ(in_c.status, 0) << in_c.errors;
  EXPECT_EQ(in_utf8.status, 0) << in_utf8.errors;
  const std::string expected = convert(in_c.output, "CP850", "UTF-8");
  ASSERT_EQ(in_utf8.output.size(), expected.size());
  const auto differs = std::mismatch(expected.begin(), expected.end(), in_utf8.output.begin());
  EXPECT_TRUE(differs.first == expected.end())
      << "at byte " << (differs.first - expected.begin()) << " of " << pieces.size() << " pieces: "
      << in_utf8.output.substr(
             static_cast<std::size_t>(std::max<std::ptrdiff_t>(differs.first - expected.begin() - 80, 0)), 160);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RecodingStorm, testing::Range(1, 13));

// UTF-16 as an editor or PowerShell writes it, with its mark in front
// where `marked`; units are taken as they stand, so that halves of
// characters beyond U+FFFF can stand alone.
constexpr std::string_view kLittleEndianMark = "\xff\xfe";
constexpr std::string_view kBigEndianMark = "\xfe\xff";
constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";

std::string utf16(const std::u16string& units, bool little_endian) {
  std::string bytes;
  for (const char16_t unit : units) {
    const auto low = static_cast<char>(unit & 0xff);
    const auto high = static_cast<char>(unit >> 8);
    bytes += little_endian ? std::string{low, high} : std::string{high, low};
  }
  return bytes;
}
std::string utf16le(const std::u16string& units) { return std::string(kLittleEndianMark) + utf16(units, true); }
std::string utf16be(const std::u16string& units) { return std::string(kBigEndianMark) + utf16(units, false); }

const std::u16string kHighHalf(1, char16_t{0xd83d});
const std::u16string kLowHalf(1, char16_t{0xde00});

// A marked input and plain input that must give the same transcript: ASCII,
// with "?" for each character the program does not know, in C and in
// C.UTF-8 (`in_utf8`, where it differs there).
struct MarkCase {
  const char* name;
  std::string marked;
  std::string plain;
  std::string plain_in_utf8 = plain;
};

std::vector<MarkCase> mark_cases() {
  const std::string tasks = "+ 1 2\n* 3 4\n/ 0 0\n";
  const std::u16string tasks16 = u"+ 1 2\r\n* 3 4\r\n/ 0 0\r\n";
  const std::string tasks_crlf = "+ 1 2\r\n* 3 4\r\n/ 0 0\r\n";
  return {
      {"Utf8MarkSkipped", std::string(kUtf8Mark) + tasks, tasks},
      {"Utf8MarkAlone", std::string(kUtf8Mark), ""},
      {"Utf16LittleEndian", utf16le(tasks16), tasks_crlf},
      {"Utf16BigEndian", utf16be(tasks16), tasks_crlf},
      {"Utf16MarkAlone", std::string(kLittleEndianMark), ""},
      {"Utf16BigEndianMarkAlone", std::string(kBigEndianMark), ""},
      // Each character one, whatever its length: a letter CP850 has, one it
      // lacks, and one beyond U+FFFF in two units.
      {"Utf16Letters", utf16le(u"\u00fc 1 2\r\n\u20ac 3 4\r\n\U0001F600 5 6\r\n* 7 8\r\n"),
       "? 1 2\r\n? 3 4\r\n? 5 6\r\n* 7 8\r\n"},
      {"Utf16BigEndianLetters", utf16be(u"\u00fc 1 2\n\U0001F600 5 6\n- 7 8\n"), "? 1 2\n? 5 6\n- 7 8\n"},
      // Bytes that text-mode reading on Windows takes for the end of input
      // (0x1A in U+011A) or for a line end (0D 0A across two units).
      {"Utf16BytesOfControlCharacters", utf16le(u"\u011a + 1 2\r\n\u0d15\u010a * 3 4\r\n- 5 6\r\n"),
       "? + 1 2\r\n?? * 3 4\r\n- 5 6\r\n"},
      // Halves of a character standing alone, and cut off by the end.
      {"Utf16HalvesAlone",
       utf16le(kHighHalf + u" + 1 2\n" + kLowHalf + u" - 3 4\n" + kHighHalf + kHighHalf + u"* 5 6\n"),
       "? + 1 2\n? - 3 4\n??* 5 6\n"},
      {"Utf16EndsInHalf", utf16le(u"+ 1 2\n" + kHighHalf), "+ 1 2\n?"},
      {"Utf16EndsInByte", utf16le(u"+ 1 2\n") + "+", "+ 1 2\n?"},
      // Only the first bytes can be a mark: later, U+FEFF is one character.
      {"Utf16MarkLaterIsCharacter", utf16le(u"+ 1 2\n\ufeff* 3 4\n"), "+ 1 2\n?* 3 4\n"},
      {"Utf8MarkLaterIsCharacters", "+ 1 2\n" + std::string(kUtf8Mark) + "* 3 4\n", "+ 1 2\n???* 3 4\n",
       "+ 1 2\n?* 3 4\n"},
      {"Utf8MarkTwice", std::string(kUtf8Mark) + std::string(kUtf8Mark) + "* 3 4\n", "???* 3 4\n", "?* 3 4\n"},
      {"Utf16MarkTwice", utf16le(std::u16string(1, char16_t{0xfeff}) + u"* 3 4\n"), "?* 3 4\n"},
      // What begins like a mark and is none is input as any other.
      {"Utf8MarkCut", "\xef\xbb+ 1 2\n", "\n\xef\xbb+ 1 2\n"},
      {"Utf8MarkCutAtEnd", "\xef\xbb", "\n\xef\xbb"},
      {"Utf8MarkHead", "\xef+ 1 2\n", "\n\xef+ 1 2\n"},
      {"Utf8MarkTail", "\xbb\xbf+ 1 2\n", "\n\xbb\xbf+ 1 2\n"},
      {"Utf16MarkHead", "\xff+ 1 2\n", "\n\xff+ 1 2\n"},
      {"Utf16MarkHeadTwice", "\xff\xff+ 1 2\n", "\n\xff\xff+ 1 2\n"},
      {"Utf16BigEndianMarkHead", "\xfe+ 1 2\n", "\n\xfe+ 1 2\n"},
  };
}

// Each case whole, then a byte a read, so that the mark itself is cut
// apart; in a pipe, where the next bytes may be still to come.
TEST(MarkedInput, GivesThePlainInputsTranscript) {
  for (const MarkCase& c : mark_cases()) {
    for (const char* locale : {"C", "C.UTF-8"}) {
      SCOPED_TRACE(std::string(c.name) + " in " + locale);
      const Ending expected = run_program(locale, {std::string(locale) == "C" ? c.plain : c.plain_in_utf8});
      std::vector<std::string> bytes;
      for (const char byte : c.marked) bytes.emplace_back(1, byte);
      for (const auto& pieces : {std::vector<std::string>{c.marked}, bytes}) {
        const Ending run = run_program(locale, pieces);
        EXPECT_EQ(run.output, expected.output) << pieces.size() << " pieces";
        EXPECT_EQ(run.status, expected.status) << pieces.size() << " pieces";
        if (HasFailure()) return;  // one case is enough to tell; a hang would cost its patience again
      }
    }
  }
}

// The mark at the start of a later read is a character, as anywhere else.
TEST(MarkedInput, IsNoMarkAtTheStartOfALaterRead) {
  const Ending expected = run_program("C.UTF-8", {"+ 1 2\n?* 3 4\n"});
  const Ending run = run_program("C.UTF-8", {"+ 1 2\n", std::string(kUtf8Mark) + "* 3 4\n"});
  EXPECT_EQ(run.output, expected.output);
  const Ending run16 = run_program("C.UTF-8", {utf16le(u"+ 1 2\n"), utf16(u"\ufeff* 3 4\n", true)});
  EXPECT_EQ(run16.output, expected.output);
}

// A letter from UTF-16 goes on in the user's character set, so that the
// locale's decoder reads it as one character: as CP850's byte, in GB18030
// it would begin a character of four bytes that takes the digits after it.
TEST(MarkedInput, LettersReachTheDecoderInTheUsersCharacterSet) {
  const std::string locale = "zh_CN.GB18030";
  if (const std::string missing = missing_locale(locale); !missing.empty()) {
    GTEST_SKIP() << missing;
  }
  const Ending expected = run_program(locale, {"?1 2\n+ 3 4\n"});
  const Ending run = run_program(locale, {utf16le(u"\u00fc1 2\n+ 3 4\n")});
  EXPECT_EQ(run.output, expected.output);
  EXPECT_EQ(run.status, expected.status);
}

class Utf16Storm : public testing::TestWithParam<int> {};

// An argument the program does not take is named in its message as the
// user typed it: each byte that is no character of the locale, each
// control character, each character that looks like another or like
// nothing and each one CP850 lacks, as \xHH; every other one as it is.
TEST(ArgumentInTheMessage, IsShownAsTypedWithUndecodableBytesEscaped) {
  struct Row {
    const char* locale;
    std::string argument;
    std::string shown;  // between the quotes, in the locale's character set
  };
  const Row rows[] = {
      {"C", "abc", "abc"},
      {"C", "\xe4", "\\xe4"},
      {"C", "\xc3\xa4", "\\xc3\\xa4"},
      {"C", "a\x1b[2Jb", "a\\x1b[2Jb"},
      {"C", "\x7f\x01", "\\x7f\\x01"},
      {"C.UTF-8", "\xc3\xa4", "\xc3\xa4"},
      {"C.UTF-8", "\xe4", "\\xe4"},
      {"C.UTF-8", "x\xe4y", "x\\xe4y"},
      {"C.UTF-8", "\xc3", "\\xc3"},
      {"C.UTF-8", "\xc3\xa4\xc3", "\xc3\xa4\\xc3"},
      {"C.UTF-8", "\xe2\x82", "\\xe2\\x82"},
      {"C.UTF-8", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
      {"C.UTF-8", "\xc2\x9b", "\\xc2\\x9b"},
      {"C.UTF-8", "\t", "\\x09"},
      // Characters CP850 lacks: none taken for its nearest letters.
      {"C.UTF-8", "5\xe2\x82\xac", "5\\xe2\\x82\\xac"},
      {"C.UTF-8", "\xc5\x91", "\\xc5\\x91"},
      {"C.UTF-8",
       "\xe2\x88\x92"
       "5",
       "\\xe2\\x88\\x925"},
      // Characters CP850 has that show as something else, or as nothing.
      {"C.UTF-8", "\xc2\xa0", "\\xc2\\xa0"},
      {"C.UTF-8", "a\xc2\xad", "a\\xc2\\xad"},
      {"de_DE.ISO-8859-1", "\xa0", "\\xa0"},
      {"C.UTF-8", "\xe3\x80\x80", "\\xe3\\x80\\x80"},
      {"C.UTF-8", "\xe6\x97\xa5\xe6\x9c\xac", "\\xe6\\x97\\xa5\\xe6\\x9c\\xac"},
      {"C.UTF-8", "\xe2\x80\x8b", "\\xe2\\x80\\x8b"},
      {"C.UTF-8", "\xef\xbb\xbf", "\\xef\\xbb\\xbf"},
      {"C.UTF-8", "a\xcc\x81", "a\\xcc\\x81"},
      {"C.UTF-8", "\xe2\x80\xae", "\\xe2\\x80\\xae"},
      {"C.UTF-8", "?", "?"},
      {"ru_RU.KOI8-R", "\xc1", "\\xc1"},
      {"de_DE.ISO-8859-1", "\xe4", "\xe4"},
      {"de_DE.ISO-8859-1", "\x9b", "\\x9b"},
      {"de_DE.UTF-8",
       "Stra\xc3\x9f"
       "e",
       "Stra\xc3\x9f"
       "e"},
      {"de_DE.UTF-8",
       "Stra\xdf"
       "e",
       "Stra\\xdfe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.locale) + " " + row.argument);
    // Where the tests' own locales cannot be had, the rows in C and C.UTF-8 still run.
    if (!missing_locale(row.locale).empty()) continue;
    const Ending run = run_program(row.locale, {""}, {row.argument});
    EXPECT_EQ(run.status, 2);
    const std::string quoted = "\"" + row.shown + "\"; Hilfe mit";
    EXPECT_NE(run.errors.find(quoted), std::string::npos) << run.errors;
  }
}

// Seeded tasks full of letters, in UTF-16 of either byte order, cut into
// pieces at any byte, in the C locale and in UTF-8: what the C locale gives
// for the same tasks in CP850.
TEST_P(Utf16Storm, TasksInPiecesGiveWhatTheCLocaleGivesInCp850) {
  std::mt19937 random(static_cast<std::mt19937::result_type>(GetParam()));
  const std::string tasks = seeded_tasks(random, 800);
  const bool little_endian = GetParam() % 2 == 1;
  const std::string marked = std::string(little_endian ? kLittleEndianMark : kBigEndianMark) +
                             convert(tasks, "UTF-8", little_endian ? "UTF-16LE" : "UTF-16BE");
  std::vector<std::string> pieces;
  for (std::size_t start = 0; start < marked.size();) {
    const std::size_t length = random() % 4 == 0 ? 1 + random() % 3 : 1 + random() % 9000;
    pieces.push_back(marked.substr(start, length));
    start += length;
  }
  const Ending in_c = run_program("C", {convert(tasks, "UTF-8", "CP850")});
  ASSERT_EQ(in_c.status, 0) << in_c.errors;
  for (const char* locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    const Ending run = run_program(locale, pieces);
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::string expected = std::string(locale) == "C" ? in_c.output : convert(in_c.output, "CP850", "UTF-8");
    const auto differs = std::mismatch(expected.begin(), expected.end(), run.output.begin(), run.output.end());
    EXPECT_TRUE(run.output == expected) << "differs at byte " << (differs.first - expected.begin());
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Utf16Storm, testing::Range(1, 5));

}  // namespace
