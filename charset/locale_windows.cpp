#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "charset/marked_input.hpp"
#include "charset/typed_text.hpp"
#include "charset/user_locale.hpp"

namespace charset {
namespace {

constexpr UINT kProgramCodePage = 850;
constexpr int kStandardOutput = 1;
// Older consoles refuse a single write of more than some thousands of characters.
constexpr std::size_t kConsolePiece = 4096;

HANDLE console_of(int file) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file));  // NOLINT(performance-no-int-to-ptr)
  return handle != INVALID_HANDLE_VALUE ? handle : nullptr;
}

// Converts a piece of the program's CP850 to UTF-16 for the console, each
// line end as the text mode writes it to a file (CR LF), whatever the
// console's code page. Returns the bytes written, or -1 with errno set.
long write_to_console(int file, const char* bytes, std::size_t count) {
  const HANDLE console = console_of(file);
  const std::size_t piece = std::min(count, kConsolePiece);
  wchar_t letters[kConsolePiece];
  if (MultiByteToWideChar(kProgramCodePage, 0, bytes, static_cast<int>(piece), letters, kConsolePiece) !=
      static_cast<int>(piece)) {
    errno = EILSEQ;
    return -1;
  }
  wchar_t text[2 * kConsolePiece];
  DWORD length = 0;
  for (std::size_t i = 0; i < piece; ++i) {
    if (letters[i] == L'\n') {
      text[length++] = L'\r';
    }
    text[length++] = letters[i];
  }
  for (DWORD done = 0; done < length;) {
    DWORD written = 0;
    if (console == nullptr || WriteConsoleW(console, text + done, length - done, &written, nullptr) == 0 ||
        written == 0) {
      errno = EIO;
      return -1;
    }
    done += written;
  }
  return static_cast<long>(piece);
}

long write_bytes(int file, const char* bytes, std::size_t count) {
  return _write(file, bytes, static_cast<unsigned>(std::min<std::size_t>(count, INT_MAX)));
}

// Each line end of a block into a file or a pipe as CR LF, the bytes that
// text mode would write, with standard output in binary mode instead:
// text mode converts in small pieces, a call to the system each, and takes
// half the time of a piped run.
// The standard output's last flush comes at the very end of the process,
// after every static object's destructor has run, so the converted block
// lives in memory that is never freed.
std::string_view with_crlf_line_ends(std::string_view block) {
  static std::string& converted = *new std::string;  // NOLINT(cppcoreguidelines-owning-memory)
  converted.clear();
  converted.reserve(block.size() + block.size() / 8);
  for (std::size_t start = 0; start < block.size();) {
    const std::size_t line_end = block.find('\n', start);
    if (line_end == std::string_view::npos) {
      converted.append(block.substr(start));
      break;
    }
    converted.append(block.substr(start, line_end - start)).append("\r\n");
    start = line_end + 1;
  }
  return converted;
}

}  // namespace

// Files and pipes get the program's CP850 bytes as they stand, with CR LF
// line ends; the console has its text converted as it is written
// (writer_for).
StreamBuffers convert_to_user_charset(StreamBuffers raw, Screens screens) {
  if (!screens.output_is_terminal) {
    _setmode(kStandardOutput, _O_BINARY);
    raw.recode_block = with_crlf_line_ends;
  }
  return raw;
}

Writer writer_for(bool to_terminal) { return to_terminal ? write_to_console : write_bytes; }

// Input is read as CP850 bytes, as the console's letters are. A character
// CP850 lacks is no other one, however like it (no fullwidth digit becomes
// a digit).
std::string input_bytes_for(char16_t character) {
  const auto unit = static_cast<wchar_t>(character);
  char byte = '?';
  BOOL lacking = FALSE;
  if (WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, &unit, 1, &byte, 1, "?", &lacking) != 1 || lacking) {
    byte = '?';
  }
  return std::string(1, byte);
}

std::string describe_error(int error) { return std::strerror(error); }

std::string to_program_charset(std::string_view text) { return std::string(text); }

// Each character that shows as itself (a letter, digit, mark or the
// space) in CP850, where CP850 has it, with no nearest one taken for it;
// each other one written as \xHH or, beyond the first 256, as \uHHHH:
// what the user typed is named as typed, never as other letters, as blank
// or as nothing, and never sends the console a control sequence.
std::string to_program_charset(std::wstring_view text) {
  constexpr std::string_view kHexDigits = "0123456789abcdef";
  std::string converted;
  for (const wchar_t unit : text) {
    char letter = 0;
    BOOL replaced = FALSE;
    if (shows_as_itself(unit) &&
        WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, &unit, 1, &letter, 1, nullptr, &replaced) == 1 &&
        replaced == FALSE) {
      converted += letter;
      continue;
    }
    const auto code = static_cast<unsigned>(unit);
    converted += code < 0x100 ? "\\x" : "\\u";
    for (int shift = code < 0x100 ? 4 : 12; shift >= 0; shift -= 4) {
      converted += kHexDigits[(code >> static_cast<unsigned>(shift)) & 0xFU];
    }
  }
  return converted;
}

}  // namespace charset
