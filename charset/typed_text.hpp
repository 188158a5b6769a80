#pragma once

namespace charset {

// Whether a character of text the user gave may be written back as it
// is: a letter, digit, mark or the space. Not a control character, which
// would send the terminal or console a sequence, nor a character that looks
// like another or like nothing (a no-break space, a soft hyphen, a
// zero-width one); those are written as escapes instead.
bool shows_as_itself(wchar_t character);

}  // namespace charset
