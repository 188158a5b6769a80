// Feeds arbitrary bytes to the main cycle and checks what must hold for any
// input: the cycle ends, every pass ends with a result line or an error
// line, output stays bounded per pass, and the input is read the same way
// whether it arrives at once or one byte at a time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>

#include "app/main_cycle.hpp"

namespace {

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: \n";
constexpr std::string_view kFirstPrompt = "Geb' die erste Zahl ein: ";
constexpr std::string_view kSecondPrompt = "Geb' die zweite Zahl ein: \n";
constexpr std::string_view kIncomplete = "Fehler! Die Eingabe ist unvollst\x84ndig!\n";
constexpr std::string_view kHead = "Das Ergebnis der Rechenaufgabe  ";
constexpr std::string_view kMiddle = "  ist: ";
constexpr std::string_view kErrorLines[] = {
    "Fehler! Das Rechenzeichen ist ung\x81ltig!\n",
    "Fehler! Die erste Zahl ist ung\x81ltig!\n",
    "Fehler! Die zweite Zahl ist ung\x81ltig!\n",
};
constexpr std::string_view kClosing = "\nUm eine erneute Rechenaufgabe zu l\x94sen ";
// The longest number the default format writes is 13 characters (-1.23457e-308).
constexpr std::size_t kLongestNumber = 13;

[[noreturn]] void fail(const char* what, std::string_view rest) {
  std::fprintf(stderr, "%s at: %.*s\n", what, static_cast<int>(rest.size() < 200 ? rest.size() : 200), rest.data());
  std::abort();
}

bool take(std::string_view& rest, std::string_view text) {
  if (!rest.starts_with(text)) {
    return false;
  }
  rest.remove_prefix(text.size());
  return true;
}

bool is_number_character(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == '+' || c == '-' || c == 'i' || c == 'n' || c == 'f' ||
         c == 'a';
}

// "Das Ergebnis der Rechenaufgabe  <a><sign><b>  ist: <result>\n"
bool take_result_line(std::string_view& rest) {
  if (!take(rest, kHead)) {
    return false;
  }
  const std::size_t middle = rest.find(kMiddle);
  const std::size_t end = rest.find('\n');
  if (middle == std::string_view::npos || end == std::string_view::npos || middle > end) {
    fail("result line without its middle", rest);
  }
  const std::string_view calculation = rest.substr(0, middle);
  const std::string_view result = rest.substr(middle + kMiddle.size(), end - middle - kMiddle.size());
  if (calculation.size() > 2 * kLongestNumber + 1 || result.empty() || result.size() > kLongestNumber) {
    fail("result line out of bounds", rest);
  }
  for (const char c : calculation) {
    if (!is_number_character(c) && c != '*' && c != '/') fail("stray character in calculation", rest);
  }
  for (const char c : result) {
    if (!is_number_character(c)) fail("stray character in result", rest);
  }
  rest.remove_prefix(end + 1);
  return true;
}

bool take_error_line(std::string_view& rest) {
  for (const std::string_view line : kErrorLines) {
    if (take(rest, line)) {
      return true;
    }
  }
  return false;
}

// Walks the transcript pass by pass; returns the number of complete passes.
std::size_t check_transcript(std::string_view rest, int status) {
  std::size_t passes = 0;
  for (;;) {
    if (!take(rest, kAsk)) fail("pass without the first prompt", rest);
    if (rest.empty()) {
      if (status != EXIT_SUCCESS) fail("end of input at the first prompt, yet a failure status", rest);
      return passes;
    }
    if (!take(rest, kFirstPrompt)) fail("no second prompt", rest);
    if (!take(rest, "\n")) {
      if (!take(rest, kSecondPrompt)) fail("no third prompt", rest);
    }
    if (take(rest, kIncomplete)) {
      if (!rest.empty() || status != EXIT_FAILURE) fail("incomplete input must end the program with a failure", rest);
      return passes;
    }
    if (!take_result_line(rest) && !take_error_line(rest)) fail("pass without a result or error line", rest);
    if (!take(rest, kClosing)) fail("pass without its closing text", rest);
    ++passes;
  }
}

// Hands out its text one byte per refill, as a pipe or terminal may.
class OneByteAtATime final : public std::streambuf {
 public:
  explicit OneByteAtATime(std::string_view text) : text_(text) {}

 private:
  int_type underflow() override {
    if (next_ == text_.size()) {
      return traits_type::eof();
    }
    current_ = text_[next_++];
    setg(&current_, &current_, &current_ + 1);
    return traits_type::to_int_type(current_);
  }

  std::string_view text_;
  std::size_t next_ = 0;
  char current_ = 0;
};

std::size_t count_non_white_space(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if (std::string_view(" \t\n\v\f\r").find(c) == std::string_view::npos) ++count;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  std::istringstream whole(input);
  std::ostringstream out;
  const int status = app::run_main_cycle(whole, out);
  const std::string transcript = out.str();
  const std::size_t passes = check_transcript(transcript, status);

  // Every pass takes at least its sign from the input, and writes no more
  // than its fixed texts and three numbers.
  if (passes > count_non_white_space(input)) fail("more passes than signs in the input", transcript);
  if (transcript.size() > (passes + 1) * 400) fail("output beyond its bound", transcript);

  OneByteAtATime trickle(input);
  std::istream trickled(&trickle);
  std::ostringstream trickled_out;
  if (app::run_main_cycle(trickled, trickled_out) != status || trickled_out.str() != transcript) {
    fail("input read differently when it arrives a byte at a time", transcript);
  }
  return 0;
}
