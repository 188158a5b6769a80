#include "terminal/streams.hpp"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace terminal {
namespace {

#ifdef _WIN32
bool leads_to_terminal(DWORD standard_handle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standard_handle), &mode) != 0;
}
constexpr DWORD kInput = STD_INPUT_HANDLE;
constexpr DWORD kOutput = STD_OUTPUT_HANDLE;
constexpr DWORD kError = STD_ERROR_HANDLE;
#else
bool leads_to_terminal(int descriptor) { return isatty(descriptor) == 1; }
constexpr int kInput = STDIN_FILENO;
constexpr int kOutput = STDOUT_FILENO;
constexpr int kError = STDERR_FILENO;
#endif

}  // namespace

bool input_is_terminal() {
  static const bool is_terminal = leads_to_terminal(kInput);
  return is_terminal;
}

bool output_is_terminal() {
  static const bool is_terminal = leads_to_terminal(kOutput);
  return is_terminal;
}

bool error_is_terminal() {
  static const bool is_terminal = leads_to_terminal(kError);
  return is_terminal;
}

#ifdef _WIN32
bool wait_for_terminal() { return true; }

long write_to_terminal(long (*write)(int file, const char* bytes, std::size_t count), int file, const char* bytes,
                       std::size_t count) {
  return write(file, bytes, count);
}

long read_from_terminal(int file, char* bytes, std::size_t count) {
  return _read(file, bytes, static_cast<unsigned>(count));
}
#endif

}  // namespace terminal
