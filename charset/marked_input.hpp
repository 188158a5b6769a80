#pragma once

#include <string>

// Within charset: what each platform's implementation gives the decoder of
// UTF-16 input.
namespace charset {

// The bytes that the input's next stage takes for one character beyond
// ASCII and within U+FFFF, where the character set it reads has one: the user's character
// set where the input is converted from it, the program's CP850 where it
// is read as it stands. Otherwise the unknown character.
std::string input_bytes_for(char16_t character);

}  // namespace charset
