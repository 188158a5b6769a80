#include "streams/standard_streams.hpp"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "streams/user_locale.hpp"

namespace streams {
namespace {

constexpr std::string_view kReadFailedText = "taschenrechner: Die Eingabe kann nicht gelesen werden: ";
constexpr std::string_view kWriteFailedText = "taschenrechner: Die Ausgabe kann nicht geschrieben werden: ";

constexpr std::size_t kBlockSize = std::size_t{1} << 16;

struct Failure {
  std::string_view text;
  int error;
};
std::optional<Failure> first_failure;

[[noreturn]] void fail(std::string_view text, int error) {
  if (!first_failure) {
    first_failure = Failure{text, error};
  }
  throw std::ios_base::failure(std::string(text));
}

// Reads a file descriptor in blocks of up to kBlockSize bytes. A terminal
// gives one line a read, so what is typed after it stays with the terminal.
class FileInput final : public std::streambuf {
 public:
  explicit FileInput(int file) : file_(file) {}

 private:
  int_type underflow() override {
    ssize_t got = 0;
    do {
      got = read(file_, block_.data(), block_.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      fail(kReadFailedText, errno);
    }
    if (got == 0) {
      return traits_type::eof();
    }
    setg(block_.data(), block_.data(), block_.data() + got);
    return traits_type::to_int_type(block_.front());
  }

  int file_;
  std::array<char, kBlockSize> block_{};
};

// Collects output and writes it to a file descriptor when flushed or full.
class FileOutput final : public std::streambuf {
 public:
  explicit FileOutput(int file) : file_(file) { setp(block_.data(), block_.data() + block_.size()); }

 private:
  int_type overflow(int_type c) override {
    write_collected();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      sputc(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
  }

  int sync() override {
    write_collected();
    return 0;
  }

  void write_collected() {
    const char* next = pbase();
    while (next < pptr()) {
      const ssize_t written = write(file_, next, static_cast<std::size_t>(pptr() - next));
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        fail(kWriteFailedText, written < 0 ? errno : EIO);
      }
      next += written;
    }
    setp(block_.data(), block_.data() + block_.size());
  }

  int file_;
  std::array<char, kBlockSize> block_{};
};

}  // namespace

void set_up_standard_streams() {
  // The standard streams take their buffers from here rather than passing
  // every character through C stdio, which nothing in the program uses.
  std::ios::sync_with_stdio(false);
  // Like the recoding buffers, these are used up to the very end of the
  // process, so they are never freed.
  static auto* const file_input = new FileInput(STDIN_FILENO);
  static auto* const file_output = new FileOutput(STDOUT_FILENO);
  const StreamBuffers used = convert_to_user_charset({file_input, file_output});
  std::cin.rdbuf(used.input);
  std::cout.rdbuf(used.output);
  std::cin.exceptions(std::ios::badbit);
  std::cout.exceptions(std::ios::badbit);
}

void report_stream_failure() {
  if (first_failure) {
    // Standard error would flush standard output first, which may be what failed.
    std::cerr.tie(nullptr);
    std::cerr << first_failure->text << describe_error(first_failure->error) << '\n' << std::flush;
  }
}

}  // namespace streams
