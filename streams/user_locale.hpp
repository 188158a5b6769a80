#pragma once

#include <streambuf>
#include <string>

// What the standard streams take from the user's locale (LC_ALL, LC_CTYPE,
// LC_MESSAGES and LANG), read without changing the program's own locale:
// the program's texts are CP850, and its numbers always use the full stop.
namespace streams {

// Puts a conversion between the program's CP850 and the user's character
// set in front of the given buffers, where the two differ and the user's
// set holds the program's letters; otherwise the buffers are used as they
// are. Returns the buffers the standard streams are to use.
struct StreamBuffers {
  std::streambuf* input;
  std::streambuf* output;
};
StreamBuffers convert_to_user_charset(StreamBuffers raw);

// The character set of the user's locale (POSIX only; the Windows console
// has its code page).
std::string user_codeset();

// The system's text for an error number, in the user's language where the
// system has it.
std::string describe_error(int error);

}  // namespace streams
