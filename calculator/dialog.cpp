#include "calculator/dialog.hpp"

#include <algorithm>
#include <istream>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string_view>

#include "calculator/number_reader.hpp"
#include "calculator/number_writer.hpp"
#include "calculator/texts.hpp"

namespace calculator {
namespace {

enum class NumberRead { value, invalid, missing };

// The operation table: the four signs by their character code. Any other
// code, the comma and the full stop between them included, is no operation.
std::optional<double> apply_operation(char sign, double first, double second) {
  switch (sign) {
    case '+': return first + second;
    case '-': return first - second;
    case '*': return first * second;
    case '/': return first / second;
    default: return std::nullopt;
  }
}

bool is_operation_sign(char sign) { return apply_operation(sign, 0.0, 0.0).has_value(); }

bool is_white_space(std::istream::int_type c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// After a failed read the offending word would answer the next prompt and
// fail again; it is dropped up to the next white space, one character at a
// time so that a huge word costs no memory.
void discard_rest_of_word(std::istream& in) {
  std::streambuf& source = *in.rdbuf();
  auto c = source.sgetc();
  while (c != std::istream::traits_type::eof() && !is_white_space(c)) {
    c = source.snextc();
  }
}

// Skips white space as `in >> std::ws` does in the classic locale, without
// asking the locale on every call. Returns whether anything follows.
bool skip_white_space(std::istream& in) {
  if (!in.good()) {
    return false;  // the input has ended before, and is not read again
  }
  std::streambuf& source = *in.rdbuf();
  auto c = source.sgetc();
  while (c != std::istream::traits_type::eof() && is_white_space(c)) {
    c = source.snextc();
  }
  if (c == std::istream::traits_type::eof()) {
    in.setstate(std::ios::eofbit);
    return false;
  }
  return true;
}

NumberRead read_number(std::istream& in, double& number) {
  if (!skip_white_space(in)) {
    return NumberRead::missing;
  }
  double value = 0.0;
  if (read_double_after_white_space(in, value)) {
    number = value;
    return NumberRead::value;
  }
  in.clear();
  discard_rest_of_word(in);
  return NumberRead::invalid;
}

void write_error_line(std::ostream& out, std::string_view text) {
  write_text(out, text);
  end_line(out);
}

DialogEnd report_incomplete_input(std::ostream& out) {
  end_line(out);
  write_error_line(out, kIncompleteInputText);
  return DialogEnd::input_incomplete;
}

// The whole line is put together here and written at once, the numbers'
// texts among the fixed ones.
void write_result_line(std::ostream& out, double first, char sign, double second, double result) {
  char line[kResultHead.size() + kResultMiddle.size() + 3 * kNumberTextSize + 1];
  char* next = std::copy(kResultHead.begin(), kResultHead.end(), line);
  next = format_double(next, first);
  *next++ = sign;
  next = format_double(next, second);
  next = std::copy(kResultMiddle.begin(), kResultMiddle.end(), next);
  next = format_double(next, result);
  write_text(out, {line, static_cast<std::size_t>(next - line)});
  end_line(out);
}

}  // namespace

DialogEnd run_calculation_dialog(std::istream& in, std::ostream& out) {
  write_text(out, kSignPrompt);
  // The sign is the first character after white space, as `in >> sign`
  // takes it.
  if (!skip_white_space(in)) {
    end_line(out);
    return DialogEnd::input_ended;
  }
  const char sign = std::istream::traits_type::to_char_type(in.rdbuf()->sbumpc());
  end_line(out);

  double first = 0.0;
  double second = 0.0;
  write_text(out, kFirstNumberPrompt);
  const NumberRead first_read = read_number(in, first);
  if (first_read == NumberRead::missing) {
    return report_incomplete_input(out);
  }
  write_text(out, kSecondNumberPrompt);
  const NumberRead second_read = read_number(in, second);
  if (second_read == NumberRead::missing) {
    return report_incomplete_input(out);
  }
  end_line(out);

  // The sign is checked only now, after both numbers were asked for; the
  // first fault in reading order is the one reported, and nothing is
  // computed from a number that could not be read.
  if (!is_operation_sign(sign)) {
    write_error_line(out, kInvalidSignText);
  } else if (first_read == NumberRead::invalid) {
    write_error_line(out, kInvalidFirstNumberText);
  } else if (second_read == NumberRead::invalid) {
    write_error_line(out, kInvalidSecondNumberText);
  } else {
    write_result_line(out, first, sign, second, *apply_operation(sign, first, second));
  }
  return DialogEnd::answered;
}

}  // namespace calculator
