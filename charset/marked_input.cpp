#include "charset/marked_input.hpp"

#include <cstddef>
#include <string>
#include <string_view>

#include "charset/user_locale.hpp"

// Byte-order marks, as editors and Windows' PowerShell write them:
//   EF BB BF   UTF-8
//   FF FE      UTF-16, little-endian (PowerShell 5.1's `>`)
//   FE FF      UTF-16, big-endian
// UTF-16 units D800-DBFF and DC00-DFFF are the high and low halves of a
// character beyond U+FFFF; every other unit is a character of its own.
namespace charset {
namespace {

constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";
constexpr std::string_view kLittleEndianMark = "\xff\xfe";
constexpr std::string_view kBigEndianMark = "\xfe\xff";

// Neither a sign, a digit nor white space, as for any other input that is
// no character the program knows.
constexpr char kUnknownCharacter = '?';

constexpr char16_t kFirstHighHalf = 0xd800;
constexpr char16_t kFirstLowHalf = 0xdc00;
constexpr char16_t kPastLowHalves = 0xe000;

bool begins(std::string_view start, std::string_view mark) {
  return start.size() < mark.size() && mark.substr(0, start.size()) == start;
}

// What a UTF-16 decoder holds between two blocks: a unit's first byte,
// and whether the high half of a character beyond U+FFFF came last.
struct Utf16State {
  int first_byte = -1;
  bool after_high_half = false;
};
Utf16State utf16_state;

void put_character(char16_t character, std::string& decoded) {
  if (character < 0x80) {
    decoded.push_back(static_cast<char>(character));
  } else {
    decoded.append(input_bytes_for(character));
  }
}

// A character beyond U+FFFF is unknown, whichever: CP850 has none.
void put_unit(char16_t unit, std::string& decoded) {
  const bool high = unit >= kFirstHighHalf && unit < kFirstLowHalf;
  const bool low = unit >= kFirstLowHalf && unit < kPastLowHalves;
  if (utf16_state.after_high_half) {
    utf16_state.after_high_half = false;
    decoded.push_back(kUnknownCharacter);
    if (low) {
      return;  // the character's second half
    }
    // A high half alone; the unit after it is a character of its own.
  }
  if (high) {
    utf16_state.after_high_half = true;
  } else if (low) {
    decoded.push_back(kUnknownCharacter);  // a low half alone
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
  const bool may_be_mark =
      begins(start, kUtf8Mark) || begins(start, kLittleEndianMark) || begins(start, kBigEndianMark);
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
    const auto first = static_cast<unsigned>(utf16_state.first_byte);
    utf16_state.first_byte = -1;
    put_unit(static_cast<char16_t>(little_endian ? first | (value << 8U) : (first << 8U) | value), decoded);
  }
  // A unit or a character cut off by the end of the input.
  if (at_end && (utf16_state.first_byte >= 0 || utf16_state.after_high_half)) {
    utf16_state = {};
    decoded.push_back(kUnknownCharacter);
  }
}

}  // namespace charset
