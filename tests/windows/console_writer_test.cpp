// The console writer, with the console's WriteConsoleW replaced by one that
// keeps what it is given: the program's CP850 text must reach the console
// as UTF-16 with every line end as CR LF (a console in the mode that
// terminals with VT sequences set shows a bare LF as a step down, without
// a return), however few characters the console takes a call, and a
// console that takes nothing is a failed write. Wine's console shows a
// bare LF as CR LF, so it cannot be told apart on its screen.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "charset/user_locale.hpp"

namespace {

constexpr int kStandardOutput = 1;

std::wstring received;
DWORD units_a_call = 0;  // 0: all
bool refusing = false;

extern "C" BOOL WINAPI keep_console_text(HANDLE /*console*/, const VOID* text, DWORD count, LPDWORD written,
                                         LPVOID /*reserved*/) {
  if (refusing) {
    return FALSE;
  }
  const DWORD taken = units_a_call == 0 || count < units_a_call ? count : units_a_call;
  received.append(static_cast<const wchar_t*>(text), taken);
  *written = taken;
  return TRUE;
}

}  // namespace

// The program's calls of WriteConsoleW go through this pointer of the import table.
extern "C" {
void* console_writer_in_import_table __asm__("__imp__WriteConsoleW@20") = reinterpret_cast<void*>(&keep_console_text);
}

namespace {

struct Case {
  const char* name;
  std::string_view bytes;
  std::wstring_view shown;
  DWORD units_a_call;
};

int failures = 0;

void expect(bool holds, const char* name, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "%s: %s\n", name, what);
    ++failures;
  }
}

}  // namespace

int main() {
  const charset::Writer to_console = charset::writer_for(true);
  const Case cases[] = {
      {"line ends", "a\nb\n\n", L"a\r\nb\r\n\r\n", 0},
      {"letters", "ung\x81ltig l\x94sen \x84\x8e\x99\x9a\xe1\n",
       L"ung\u00fcltig l\u00f6sen \u00e4\u00c4\u00d6\u00dc\u00df\r\n", 0},
      {"a line end last in a call of its own", "x\n", L"x\r\n", 2},
      {"a console that takes a unit a call", "ab\ncd\n", L"ab\r\ncd\r\n", 1},
  };
  for (const Case& c : cases) {
    received.clear();
    units_a_call = c.units_a_call;
    const long written = to_console(kStandardOutput, c.bytes.data(), c.bytes.size());
    expect(written == static_cast<long>(c.bytes.size()), c.name, "not every byte counted as written");
    expect(received == c.shown, c.name, "the console got other text");
  }
  // More than a console takes in one write: the first piece, counted as
  // write(2) counts a part.
  const std::string long_text(5000, 'x');
  received.clear();
  units_a_call = 0;
  const long written = to_console(kStandardOutput, long_text.data(), long_text.size());
  expect(written > 0 && written < 5000 && received == std::wstring(static_cast<std::size_t>(written), L'x'),
         "a long text", "not written as its first piece");
  refusing = true;
  errno = 0;
  expect(to_console(kStandardOutput, "a\n", 2) == -1 && errno == EIO, "a console that takes nothing",
         "not a failed write (EIO)");
  if (failures == 0) {
    std::puts("the console gets UTF-16 with CR LF line ends, in pieces as it takes them");
  }
  return failures == 0 ? 0 : 1;
}
