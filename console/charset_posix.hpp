#pragma once

#include <string>

namespace console {

// The character set of the user's locale as the C library reads it from
// LC_ALL, LC_CTYPE and LANG, without changing the program's own locale.
std::string user_codeset();

}  // namespace console
