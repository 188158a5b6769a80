#pragma once

#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

// What the standard streams take from the user's locale (LC_ALL, LC_CTYPE,
// LC_MESSAGES and LANG), read without changing the program's own locale:
// the program's texts are CP850, and its numbers always use the full stop.
namespace charset {

// Puts a conversion between the program's CP850 and the user's character
// set in front of the given buffers, where the two differ and the user's
// set holds the program's letters. Output to a terminal whose character set
// lacks them gets ae, oe and ue instead (and ? for any other character it
// cannot show). Otherwise the buffers are used as they are: files and pipes
// keep the program's bytes. Returns the buffers the standard streams are to
// use; standard output into a file or a pipe keeps its own buffer, and is
// given `recode_block` to turn each block into the user's character set
// as it is written.
using BlockRecoder = std::string_view (*)(std::string_view block);  // valid until the next call
struct StreamBuffers {
  std::streambuf* input;
  std::streambuf* output;
  std::streambuf* error;
  BlockRecoder recode_block = nullptr;
};
struct Screens {
  bool output_is_terminal;
  bool error_is_terminal;
};
StreamBuffers convert_to_user_charset(StreamBuffers raw, Screens screens);

// Writes bytes to a file descriptor, as write(2) does. A Windows console
// (`to_terminal`) is given the program's CP850 text as UTF-16 instead, so
// that its letters show whatever the console's code page; everything else
// gets the bytes.
using Writer = long (*)(int file, const char* bytes, std::size_t count);
Writer writer_for(bool to_terminal);

// Input from a file or a pipe may begin with a byte-order mark, and only
// there is one special: a UTF-8 mark is skipped, and a UTF-16 mark means
// the rest is UTF-16, whose characters go on in the bytes the rest of the
// input takes (its signs, digits and white space as ASCII).
enum class InputForm { undecided, plain, utf16_little_endian, utf16_big_endian };
struct FirstBytes {
  InputForm form;           // undecided while the bytes may still begin a mark
  std::size_t mark_length;  // of the mark at their start, to be skipped
};
FirstBytes read_first_bytes(std::string_view start);

// Turns the next bytes of UTF-16 input into `decoded`. A unit or a
// character cut by the end of `bytes` is completed by the next call; where
// the input has ended (`at_end`), it comes out as an unknown character.
void decode_utf16(InputForm form, std::string_view bytes, bool at_end, std::string& decoded);

// The character set of the user's locale (POSIX only; the Windows console
// has its code page).
std::string user_codeset();

// The system's text for an error number, in the user's language where the
// system has it, in the program's CP850 like every other text.
std::string describe_error(int error);

// Text the user gave (an argument, say) in the program's CP850, so that it
// is written back as the user wrote it; on POSIX, bytes the user's locale
// cannot decode, control characters and characters CP850 has no letters
// for are written as \xHH.
std::string to_program_charset(std::string_view text);

#ifdef _WIN32
// The same for text that Windows hands over in UTF-16, as it does the
// arguments; a character CP850 lacks becomes its nearest one or ?.
std::string to_program_charset(std::wstring_view text);
#endif

}  // namespace charset
