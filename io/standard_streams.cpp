#include "io/standard_streams.hpp"

#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

#include "charset/user_locale.hpp"
#include "line_editor/line_editor.hpp"
#include "terminal/streams.hpp"
#ifndef _WIN32
#include "keys/keys.hpp"
#include "screen/screen.hpp"
#include "terminal/terminal.hpp"
#endif

namespace io {
namespace {

constexpr std::string_view kReadFailedText = "taschenrechner: Die Eingabe kann nicht gelesen werden: ";
constexpr std::string_view kWriteFailedText = "taschenrechner: Die Ausgabe kann nicht geschrieben werden: ";

constexpr std::size_t kBlockSize = std::size_t{1} << 16;
// A block recoded into the user's character set grows by its letters' extra
// bytes (two letters in a pass of 250 bytes, one byte more each in UTF-8).
// Some room is left for them, so that a block still reaches a pipe in one
// write: a pipe holds 64 KiB (pipe(7)), and a write beyond its free room
// waits for the reader, one more wake-up for every block.
constexpr std::size_t kRoomForLetters = kBlockSize / 32;
using Block = std::array<char, kBlockSize>;
// In static storage rather than on the heap, so that a page of them costs
// the program's start only once something is read or written there.
Block input_block;
Block output_block;
Block error_block;

struct Failure {
  std::string_view text;
  int error;
};
std::optional<Failure> first_failure;

// Whether a write to standard error has failed; the exit status tells then.
bool error_stream_failed = false;

// A read or a write that fails without saying why must still name a cause:
// "Success" would be a lie.
int named_cause(int error) { return error != 0 ? error : EIO; }

[[noreturn]] void fail(std::string_view text, int error) {
  if (!first_failure) {
    first_failure = Failure{text, named_cause(error)};
  }
  throw std::ios_base::failure(std::string(text));
}

// What a buffer does once its descriptor refuses a write. Standard output
// throws, so that the program stops at the operation that failed and says
// why. Standard error cannot: std::cerr is flushed from the destructor of
// the stream's sentry, where an exception ends the program by
// std::terminate, and a failure there has nobody left to be told of. It
// falls silent instead and leaves the exit status to tell.
enum class OnFailure { throw_out, fall_silent };

// Collects output and writes it to a file descriptor: for a terminal at
// every line end, otherwise when the block is full; and whenever flushed.
class FileOutput final : public std::streambuf {
 public:
  FileOutput(int file, bool by_line, Block& block, bool to_terminal, OnFailure on_failure)
      : file_(file),
        by_line_(by_line),
        waits_for_foreground_(to_terminal && file == STDOUT_FILENO),
        block_(block),
        write_(charset::writer_for(to_terminal)),
        on_failure_(on_failure) {
    start_block();
  }

 private:
  // By line, the put area stays empty, so that every character passes
  // through overflow or xsputn, where line ends are seen.
  void start_block() {
    held_ = 0;
    if (!by_line_) {
      setp(block_.data(), block_.data() + block_.size() - (recode_ != nullptr ? kRoomForLetters : 0));
    }
  }

  std::size_t held() const { return by_line_ ? held_ : static_cast<std::size_t>(pptr() - pbase()); }

  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    const char character = traits_type::to_char_type(c);
    if (by_line_) {
      return xsputn(&character, 1) == 1 ? c : traits_type::eof();
    }
    if (!write_held()) {
      return traits_type::eof();
    }
    sputc(character);
    return c;
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    if (!by_line_) {
      // The common case, a piece that fits, in one copy.
      if (count <= epptr() - pptr()) {
        std::memcpy(pptr(), text, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
      }
      return std::streambuf::xsputn(text, count);
    }
    if (silent_) {
      return 0;
    }
    for (std::streamsize done = 0; done < count;) {
      if (held_ == block_.size() && !write_held()) {
        return done;
      }
      const auto part = std::min(static_cast<std::size_t>(count - done), block_.size() - held_);
      std::memcpy(block_.data() + held_, text + done, part);
      held_ += part;
      done += static_cast<std::streamsize>(part);
    }
    if (std::find(text, text + count, '\n') != text + count && !write_held()) {
      return 0;
    }
    return count;
  }

  int sync() override { return write_held() ? 0 : -1; }

 public:
  // Each block is turned into the user's character set as it is written.
  void recode_blocks(charset::BlockRecoder recode) {
    recode_ = recode;
    start_block();
  }

  // Writes every finished line and hands back the unfinished one, unwritten:
  // a line editor shows it as its prompt, so that it can draw it again.
  std::string take_unfinished_line() {
    const std::string_view held_text(block_.data(), held());
    const std::size_t line_start = held_text.rfind('\n') + 1;  // 0 without a line end
    std::string unfinished(held_text.substr(line_start));
    held_ = line_start;  // lines are edited only where output goes by line
    write_held();
    return unfinished;
  }

 private:
  // Nothing reaches the terminal's screen from the background: the program
  // waits there, stopped, until it is back in the foreground. Its lines on
  // standard error are no part of its screen, and say why it ends.
  // False where the output is lost: a buffer fallen silent drops what it
  // holds and all that comes after, rather than try its descriptor again
  // (which would only fail again, or write a line's tail without its head).
  bool write_held() {
    std::string_view text(block_.data(), held());
    if (recode_ != nullptr && !text.empty()) {
      text = recode_(text);
    }
    const char* next = text.data();
    const char* const end = next + text.size();
    while (next < end && !silent_) {
      // Asked right before each write: a stop and `bg` may come between two.
      const auto count = static_cast<std::size_t>(end - next);
      const long written =
          waits_for_foreground_ ? terminal::write_to_terminal(write_, file_, next, count) : write_(file_, next, count);
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        refused(written < 0 ? errno : EIO);
        break;
      }
      note_shown(next, static_cast<std::size_t>(written));
      next += written;
    }
    start_block();
    return !silent_;
  }

  // What reaches the terminal's screen is the pass that a resize, a stop or
  // a continue shows again (the Windows console keeps its own screen).
  void note_shown([[maybe_unused]] const char* text, [[maybe_unused]] std::size_t count) const {
#ifndef _WIN32
    if (waits_for_foreground_) {
      screen::note_shown({text, count});
    }
#endif
  }

  // Either buffer falls silent: what it holds is never tried again, so that
  // no part of it reaches the file twice, and nothing after it is written
  // (the end's last flush included). Standard output's failure also ends
  // the stream operation.
  void refused(int error) {
    silent_ = true;
    if (on_failure_ == OnFailure::throw_out) {
      fail(kWriteFailedText, error);
    }
    error_stream_failed = true;
  }

  int file_;
  bool by_line_;
  bool waits_for_foreground_;
  std::size_t held_ = 0;
  Block& block_;
  charset::Writer write_;
  charset::BlockRecoder recode_ = nullptr;
  OnFailure on_failure_;
  bool silent_ = false;
};

// Reads a file descriptor in blocks of up to kBlockSize bytes. A terminal
// gives one line a read, so what is typed after it stays with the terminal;
// what the pause read with its key comes first. A file or a pipe may begin
// with a byte-order mark, which says how the rest is written.
// Before each read, which may wait, the output collected so far is written:
// whoever is to answer may be waiting for just that prompt. Whether lines
// are edited is asked at the first read, so that a program that reads
// nothing (--help) loads no line editor.
class FileInput final : public std::streambuf {
 public:
  FileInput(int file, FileOutput& output, Block& block) : file_(file), output_(output), block_(block) {}

 private:
  int_type underflow() override {
    // Where the terminal is never the program's, it asks for nothing there.
    if (terminal::input_is_terminal() && !terminal::wait_for_terminal()) {
      fail(kReadFailedText, EIO);
    }
    if (line_editor::edits_lines()) {
      return take_from_edited_lines();
    }
    if (!terminal::input_is_terminal()) {
      output_.pubsync();
      return take_from_file();
    }
    const long got = read_terminal_line();
    if (got < 0) {
      fail(kReadFailedText, errno);
    }
    return hand_out(block_.data(), static_cast<std::size_t>(got));
  }

  // The terminal's own line mode reads the line (no line editor), after
  // what the pause read with its key: the prompt is written first, and a stop of the program's own while it
  // waits shows the pass again (the line typed so far went with the
  // Ctrl+Z: the terminal drops it). A resize or a continue alone leaves the
  // screen as it is, since the line typed so far is only the terminal's.
  long read_terminal_line() {
#ifdef _WIN32
    output_.pubsync();
    return terminal::read_from_terminal(file_, block_.data(), block_.size());
#else
    const terminal::WakeUps before = terminal::take_wake_ups();
    output_.pubsync();
    static_cast<void>(screen::show_pass_before_prompt({.resumed = before.resumed}));
    const long got = keys::read_line(block_.data(), block_.size(), [](terminal::WakeUps happened) {
      static_cast<void>(screen::show_pass_again({.resumed = happened.resumed}));
    });
    // The terminal echoed it: a part of the pass to show again.
    if (got > 0 && terminal::output_is_terminal()) {
      screen::note_typed({block_.data(), static_cast<std::size_t>(got)});
    }
    return got;
#endif
  }

  int_type hand_out(char* bytes, std::size_t count) {
    if (count == 0) {
      return traits_type::eof();
    }
    setg(bytes, bytes, bytes + count);
    return traits_type::to_int_type(*bytes);
  }

  std::size_t read_file(char* bytes, std::size_t count) {
    ssize_t got = 0;
    do {
      got = read(file_, bytes, count);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      fail(kReadFailedText, errno);
    }
    return static_cast<std::size_t>(got);
  }

  int_type take_from_file() {
    if (form_ == charset::InputForm::undecided) {
      return take_first_bytes();
    }
    for (;;) {
      const std::size_t got = read_file(block_.data(), block_.size());
      if (form_ == charset::InputForm::plain) {
        return hand_out(block_.data(), got);
      }
      charset::decode_utf16(form_, {block_.data(), got}, got == 0, decoded_);
      if (!decoded_.empty() || got == 0) {
        return hand_out(decoded_.data(), decoded_.size());
      }
    }
  }

  // A byte at a time until they cannot begin a mark, so that no read waits
  // for more than a mark needs.
  int_type take_first_bytes() {
#ifdef _WIN32
    // Read as bytes, as on every other platform: text mode would end the
    // input at a byte 0x1A (a Ctrl+Z) and join CR and LF across the units
    // of UTF-16. A CR before a LF is white space to the dialog.
    _setmode(file_, _O_BINARY);
#endif
    std::size_t got = 0;
    charset::FirstBytes first{};
    do {
      const std::size_t more = read_file(block_.data() + got, 1);
      got += more;
      first = charset::read_first_bytes({block_.data(), got});
      if (more == 0 && first.form == charset::InputForm::undecided) {
        first.form = charset::InputForm::plain;  // the input has ended within what began like a mark
      }
    } while (first.form == charset::InputForm::undecided);
    form_ = first.form;
    if (got > first.mark_length) {
      return hand_out(block_.data() + first.mark_length, got - first.mark_length);
    }
    return take_from_file();
  }

  // A line longer than a block is handed on a block at a time.
  int_type take_from_edited_lines() {
    if (unread_line_.empty()) {
      const std::optional<std::string_view> line = line_editor::read_edited_line(output_.take_unfinished_line());
      if (!line) {
        fail(kReadFailedText, errno);
      }
      unread_line_ = *line;
      if (unread_line_.empty()) {
        return traits_type::eof();
      }
    }
    const std::size_t part = std::min(unread_line_.size(), block_.size());
    std::memcpy(block_.data(), unread_line_.data(), part);
    unread_line_.remove_prefix(part);
    setg(block_.data(), block_.data(), block_.data() + part);
    return traits_type::to_int_type(block_.front());
  }

  int file_;
  FileOutput& output_;
  Block& block_;
  std::string_view unread_line_;
  charset::InputForm form_ = charset::InputForm::undecided;
  std::string decoded_;  // UTF-16 input, as the next stage reads it
};

}  // namespace

void set_up_standard_streams() {
  // The standard streams take their buffers from here rather than passing
  // every character through C stdio, which nothing in the program uses.
  std::ios::sync_with_stdio(false);
  // Like the recoding buffers, these are used up to the very end of the
  // process, so they are never freed. A terminal shows each line at once;
  // a pipe or a file gets whole blocks.
  // Standard error gets each line at once, through the same writer, so
  // that a Windows console shows its letters as it shows the output's.
  const charset::Screens screens{terminal::output_is_terminal(), terminal::error_is_terminal()};
  static auto* const file_output = new FileOutput(STDOUT_FILENO, screens.output_is_terminal, output_block,
                                                  screens.output_is_terminal, OnFailure::throw_out);
  static auto* const file_input = new FileInput(STDIN_FILENO, *file_output, input_block);
  static auto* const file_errors =
      new FileOutput(STDERR_FILENO, true, error_block, screens.error_is_terminal, OnFailure::fall_silent);
  const charset::StreamBuffers used = charset::convert_to_user_charset({file_input, file_output, file_errors}, screens);
  file_output->recode_blocks(used.recode_block);
  std::cin.rdbuf(used.input);
  std::cout.rdbuf(used.output);
  std::cerr.rdbuf(used.error);
  // Each line on standard error in one write, so that it reaches a terminal
  // shared with a shell whole: its buffer writes at every line end.
  std::cerr.unsetf(std::ios::unitbuf);
  // Output is written before a read that may wait, not before every read
  // (the dialog reads through the buffer, but any read through the stream
  // would flush a tied one).
  std::cin.tie(nullptr);
  std::cin.exceptions(std::ios::badbit);
  std::cout.exceptions(std::ios::badbit);
}

void fail_to_read(int error) { fail(kReadFailedText, error); }

void report_stream_failure() {
  if (first_failure) {
    // Standard error would flush standard output first, which may be what failed.
    std::cerr.tie(nullptr);
    std::cerr << first_failure->text << charset::describe_error(first_failure->error) << '\n' << std::flush;
  }
}

bool error_output_failed() { return error_stream_failed; }

}  // namespace io
