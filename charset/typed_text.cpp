#include "charset/typed_text.hpp"

#include <cwctype>

namespace charset {

namespace {

// CP850 has these two, and both pass for graphic characters, but neither
// shows what it is.
constexpr wchar_t kNoBreakSpace = 0xA0;
constexpr wchar_t kSoftHyphen = 0xAD;

}  // namespace

bool shows_as_itself(wchar_t character) {
  if (character == L' ') return true;
  if (character == kNoBreakSpace || character == kSoftHyphen) return false;
  return std::iswgraph(static_cast<std::wint_t>(character)) != 0;
}

}  // namespace charset
