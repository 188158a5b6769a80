#include <cstddef>
#include <string>
#include <string_view>

#include "charset/marked_input.hpp"
#include "charset/user_locale.hpp"

// Byte-order marks, as editors and Windows' PowerShell write them:
//   EF BB BF   UTF-8
//   FF FE      UTF-16, little-endian (PowerShell 5.1's `>`)
//   FE FF      UTF-16, big-endian
// UTF-16 units D800-DBFF and DC00-DFFF are the high and low halves of a
// character beyond U+FFFF.
namespace charset {
namespace {

constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";
constexpr std::string_view kLittleEndianMark = "\xff\xfe";
constexpr std::string_view kBigEndianMark = "\xfe\xff";

// Neither a sign, a digit nor white space, as for any other input that is
// no character the program knows.
constexpr char kUnknownCharacter = '?';

constexpr char32_t kFirstHighHalf = 0xd800;
constexpr char32_t kFirstLowHalf = 0xdc00;
constexpr char32_t kPastLowHalves = 0xe000;
constexpr char32_t kFirstBeyondUnits = 0x10000;

bool begins(std::string_view start, std::string_view mark) {
  return start.size() < mark.size() && mark.substr(0, start.size()) == start;
}

// What a UTF-16 decoder holds between two blocks: a unit's first byte,
// and the high half of a character whose low half is still to come.
struct Utf16State {
  int first_byte = -1;
  char32_t high_half = 0;
};
Utf16State utf16_state;

void put_character(char32_t character, std::string& decoded) {
  if (character < 0x80) {
    decoded.push_back(static_cast<char>(character));
  } else {
    decoded.append(input_bytes_for(character));
  }
}

void put_unit(char32_t unit, std::string& decoded) {
  const bool high = unit >= kFirstHighHalf && unit < kFirstLowHalf;
  const bool low = unit >= kFirstLowHalf && unit < kPastLowHalves;
  if (utf16_state.high_half != 0) {
    const char32_t high_half = utf16_state.high_half;
    utf16_state.high_half = 0;
    if (low) {
      put_character(kFirstBeyondUnits + ((high_half - kFirstHighHalf) << 10) + (unit - kFirstLowHalf), decoded);
      return;
    }
    decoded.push_back(kUnknownCharacter);  // a high half alone; the unit after it is a character of its own
  }
  if (high) {
    utf16_state.high_half = unit;
  } else if (low) {
    decoded.push_back(kUnknownCharacter);
  } else {
    put_character(unit, decoded);
  }
}

}  // namespace

FirstBytes read_first_bytes(std::string_view start) {
  if (start.starts_with(kUtf8Mark)) {
    return {InputForm::plain, kUtf8Mark.size()};
  }
  if (start.starts_with(kLittleEndianMark)) {
    return {InputForm::utf16_little_endian, kLittleEndianMark.size()};
  }
  if (start.starts_with(kBigEndianMark)) {
    return {InputForm::utf16_big_endian, kBigEndianMark.size()};
  }
  const bool may_be_mark = begins(start, kUtf8Mark) || begins(start, kLittleEndianMark) || begins(start, kBigEndianMark);
  return {may_be_mark ? InputForm::undecided : InputForm::plain, 0};
}

void decode_utf16(InputForm form, std::string_view bytes, bool at_end, std::string& decoded) {
  decoded.clear();
  const bool little_endian = form == InputForm::utf16_little_endian;
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    if (utf16_state.first_byte < 0) {
      utf16_state.first_byte = value;
      continue;
    }
    const auto first = static_cast<char32_t>(utf16_state.first_byte);
    utf16_state.first_byte = -1;
    put_unit(little_endian ? first | (char32_t{value} << 8) : (first << 8) | value, decoded);
  }
  // A unit or a character cut off by the end of the input.
  if (at_end && (utf16_state.first_byte >= 0 || utf16_state.high_half != 0)) {
    utf16_state = {};
    decoded.push_back(kUnknownCharacter);
  }
}

}  // namespace charset
