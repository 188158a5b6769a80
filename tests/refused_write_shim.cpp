// Loaded into the program (LD_PRELOAD) by the tests of a write that is
// refused once: the Nth write to standard output, N from
// TASCHENRECHNER_REFUSED_WRITE, takes only half its bytes, and the one after
// it fails with EAGAIN, as a pipe set non-blocking does when its reader
// falls behind. Every later write goes through, so that whatever the
// program writes after the failure shows in its output. With
// TASCHENRECHNER_MARK_ERROR_WRITES set, each write to standard error
// arrives in brackets, so that a test sees how many writes a line took.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

extern "C" ssize_t write(int file, const void* bytes, size_t count) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const auto real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  static const long refused = [] {
    const char* set = std::getenv("TASCHENRECHNER_REFUSED_WRITE");
    return set != nullptr ? std::strtol(set, nullptr, 10) : 0L;
  }();
  static long writes = 0;
  static const bool marking = std::getenv("TASCHENRECHNER_MARK_ERROR_WRITES") != nullptr;
  if (file == STDERR_FILENO && marking) {
    std::string marked = "[";
    marked.append(static_cast<const char*>(bytes), count).append("]");
    return real_write(file, marked.data(), marked.size()) == static_cast<ssize_t>(marked.size())
               ? static_cast<ssize_t>(count)
               : -1;
  }
  if (file == STDOUT_FILENO) {
    ++writes;
    if (writes == refused && count > 1) {
      return real_write(file, bytes, count / 2);
    }
    if (writes == refused || writes == refused + 1) {
      errno = EAGAIN;
      return -1;
    }
  }
  return real_write(file, bytes, count);
}
