#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "charset/marked_input.hpp"
#include "charset/typed_text.hpp"
#include "charset/user_locale.hpp"

namespace charset {
namespace {

constexpr const char* kProgramCharset = "CP850";
// CP850, with a character it lacks written as near as it can be.
constexpr const char* kProgramCharsetApproximated = "CP850//TRANSLIT";
constexpr const char* kUtf8Charset = "UTF-8";
constexpr const char* kUtf8Locale = "C.UTF-8";
constexpr const char* kWideCharset = "WCHAR_T";
constexpr std::string_view kAsciiCharset = "ANSI_X3.4-1968";
// iconv_open's way of saying it has no such conversion.
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)

// Stands for a character that has no CP850 byte or input that is no
// character at all; it is neither a sign, a digit nor white space.
constexpr char kUnknownCharacter = '?';

// The program's texts need these three letters beyond ASCII.
constexpr std::string_view kLettersInUse = "\x84\x94\x81";  // ä ö ü

// The upper half of CP850, byte 0x80 + i at index i, in another form.
using HighHalfText = std::array<std::string, 128>;
using HighHalfChars = std::array<wchar_t, 128>;

std::optional<std::string> convert(iconv_t converter, std::string_view text) {
  std::string input(text);
  std::string output(16 * text.size(), '\0');
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = output.data();
  std::size_t out_left = output.size();
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) ||
      iconv(converter, nullptr, nullptr, &out, &out_left) == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  output.resize(output.size() - out_left);
  return output;
}

// Bytes within ASCII, which every character set a locale uses shares
// with CP850, are found eight at a time: a word without its high bits set
// holds ASCII only.
constexpr std::uint64_t kHighBits = 0x8080808080808080U;

std::uint64_t word_at(const char* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// Of the eight bytes of `word`, how many come before the first one beyond
// ASCII: the first byte in memory is the word's lowest on a little-endian
// machine, its highest on a big-endian one.
std::ptrdiff_t ascii_before(std::uint64_t word) {
  const std::uint64_t high = word & kHighBits;
  return (std::endian::native == std::endian::little ? std::countr_zero(high) : std::countl_zero(high)) / 8;
}

bool is_ascii(char byte) { return static_cast<unsigned char>(byte) < 0x80; }

const char* end_of_ascii(const char* from, const char* to) {
  for (; to - from >= 16; from += 16) {
    const std::uint64_t first = word_at(from);
    const std::uint64_t second = word_at(from + 8);
    if (((first | second) & kHighBits) != 0) {
      return from + ((first & kHighBits) != 0 ? ascii_before(first) : 8 + ascii_before(second));
    }
  }
  return std::find_if_not(from, to, is_ascii);
}

// Turns the program's CP850 bytes into the user's character set: ASCII as
// it stands, each byte beyond it as its text there.
class Recoder {
 public:
  explicit Recoder(const HighHalfText& high_half) {
    for (std::size_t i = 0; i < high_half.size(); ++i) {
      // Longer texts than a slot holds (none in the character sets of
      // Debian's locales) come out as the unknown character.
      const std::string& text = high_half[i].size() <= kLetterSlot ? high_half[i] : std::string(1, kUnknownCharacter);
      std::copy(text.begin(), text.end(), letters_[i].bytes.begin());
      letters_[i].size = text.size();
      longest_letter_ = std::max(longest_letter_, text.size());
    }
  }

  // The text recoded, valid until the next call. It goes 64 bytes at a
  // time, each 64 copied before they are looked at (a fixed-size copy,
  // which the compiler makes a few moves), and a letter is copied as its
  // whole slot, so the room behind the text written so far always holds 64
  // more. The room is left uninitialised, so that only what a text needs
  // of it is ever touched.
  std::string_view recode(const char* text, std::size_t count) {
    static_assert(kLetterSlot <= kStep);
    const std::size_t room = count * longest_letter_ + kStep;
    if (room_ < room) {
      recoded_.reset(new char[room]);
      room_ = room;
    }
    char* out = recoded_.get();
    const char* next = text;
    const char* const end = text + count;
    while (next < end) {
      if (end - next >= kStep) {
        std::memcpy(out, next, kStep);
        const std::ptrdiff_t ascii = ascii_in_step(next);
        next += ascii;
        out += ascii;
        if (ascii == kStep) {
          continue;
        }
      } else if (is_ascii(*next)) {
        *out++ = *next++;
        continue;
      }
      const Letter& letter = letters_[static_cast<unsigned char>(*next++) - 0x80];
      std::memcpy(out, letter.bytes.data(), kLetterSlot);
      out += letter.size;
    }
    return {recoded_.get(), static_cast<std::size_t>(out - recoded_.get())};
  }

 private:
  static constexpr std::ptrdiff_t kStep = 64;
  static constexpr std::size_t kLetterSlot = 8;
  struct Letter {
    std::array<char, kLetterSlot> bytes{};
    std::size_t size = 0;
  };

  // How many of the 64 bytes at `step` come before the first beyond ASCII.
  static std::ptrdiff_t ascii_in_step(const char* step) {
    std::array<std::uint64_t, kStep / 8> words{};
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
      words[i] = word_at(step + 8 * i);
      any |= words[i];
    }
    if ((any & kHighBits) == 0) {
      return kStep;
    }
    std::ptrdiff_t before = 0;
    for (const std::uint64_t word : words) {
      if ((word & kHighBits) != 0) {
        return before + ascii_before(word);
      }
      before += 8;
    }
    return before;
  }

  std::array<Letter, 128> letters_;
  std::size_t longest_letter_ = 1;
  std::unique_ptr<char[]> recoded_;
  std::size_t room_ = 0;
};

// Passes `text` on to `target` in the user's character set; all of it or
// nothing counts as written.
std::streamsize write_recoded(std::streambuf& target, Recoder& recoder, const char* text, std::streamsize count) {
  const std::string_view recoded = recoder.recode(text, static_cast<std::size_t>(count));
  const auto size = static_cast<std::streamsize>(recoded.size());
  return target.sputn(recoded.data(), size) == size ? count : 0;
}

// A screen, and standard error into a file or a pipe: every piece goes on
// at once, so that the buffer behind sees each line end when it is written.
class LineRecodingOutput final : public std::streambuf {
 public:
  LineRecodingOutput(std::streambuf& target, const HighHalfText& high_half) : target_(target), recoder_(high_half) {}

 private:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    const char byte = traits_type::to_char_type(c);
    return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    return write_recoded(target_, recoder_, text, count);
  }

  int sync() override { return target_.pubsync(); }

  std::streambuf& target_;
  Recoder recoder_;
};

// Reads the user's characters as CP850 bytes, a block at a time: runs of
// ASCII are copied as they stand, and only the bytes beyond ASCII go
// through the decoder, one character at a time. It takes from its source
// only what the source already holds, and asks it for more only when it
// has nothing left to hand out, so that it never waits for input while
// something could be answered.
class RecodingInput final : public std::streambuf {
 public:
  RecodingInput(std::streambuf& source, iconv_t decoder, const HighHalfChars& high_half)
      : source_(source), decoder_(decoder), high_half_(high_half) {}

 private:
  static constexpr std::streamsize kBlockSize = 4096;

  int_type underflow() override {
    char* const begin = decoded_.data();
    char* out = begin;
    while (out == begin) {
      if (next_ == end_ && !take_from_source()) {
        if (pending_.empty()) {
          return traits_type::eof();
        }
        pending_.clear();  // a character cut off by the end of the input
        *out++ = kUnknownCharacter;
        break;
      }
      out = decode(out, begin + decoded_.size());
    }
    setg(begin, begin, out);
    return traits_type::to_int_type(*begin);
  }

  // What the source holds already; where it holds nothing, whatever it reads next.
  bool take_from_source() {
    if (traits_type::eq_int_type(source_.sgetc(), traits_type::eof())) {
      return false;
    }
    const std::streamsize held = std::clamp<std::streamsize>(source_.in_avail(), 1, kBlockSize);
    next_ = raw_.data();
    end_ = next_ + source_.sgetn(raw_.data(), held);
    return next_ < end_;
  }

  char* decode(char* out, char* const out_end) {
    while (out < out_end && next_ < end_) {
      if (pending_.empty()) {
        const char* const run_end = end_of_ascii(next_, next_ + std::min(out_end - out, end_ - next_));
        out = std::copy(next_, run_end, out);
        next_ = run_end;
        if (out == out_end || next_ == end_) {
          break;
        }
      }
      pending_.push_back(*next_++);
      wchar_t wide = 0;
      switch (decode_pending(wide)) {
        case Decoded::begun: continue;  // more bytes of the character to come
        case Decoded::whole: *out++ = to_program_char(wide); break;
        case Decoded::broken:
          // The byte that broke the sequence may start the next character.
          if (pending_.size() > 1) {
            --next_;
          }
          *out++ = kUnknownCharacter;
          break;
      }
      pending_.clear();
    }
    return out;
  }

  enum class Decoded { begun, whole, broken };

  Decoded decode_pending(wchar_t& wide) {
    char* in = pending_.data();
    std::size_t in_left = pending_.size();
    char* out = reinterpret_cast<char*>(&wide);
    std::size_t out_left = sizeof wide;
    iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(decoder_, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1)) {
      return Decoded::whole;
    }
    return errno == EINVAL ? Decoded::begun : Decoded::broken;
  }

  char to_program_char(wchar_t wide) const {
    // wchar_t is signed on some machines and unsigned on others.
    if (static_cast<std::make_unsigned_t<wchar_t>>(wide) < 0x80) {
      return static_cast<char>(wide);
    }
    for (std::size_t i = 0; i < high_half_.size(); ++i) {
      if (high_half_[i] == wide) {
        return static_cast<char>(0x80 + i);
      }
    }
    return kUnknownCharacter;
  }

  std::streambuf& source_;
  iconv_t decoder_;
  const HighHalfChars high_half_;
  std::array<char, kBlockSize> raw_{};
  const char* next_ = nullptr;
  const char* end_ = nullptr;
  std::string pending_;  // the bytes of a character begun
  std::array<char, kBlockSize> decoded_{};
};

bool holds_letters_in_use(iconv_t encoder) {
  for (const char letter : kLettersInUse) {
    if (!convert(encoder, std::string_view(&letter, 1))) {
      return false;
    }
  }
  return true;
}

// How the program's letters read on a screen that cannot show them, as
// German has always written them without umlauts.
struct Replacement {
  char letter;  // CP850
  std::string_view text;
};
constexpr Replacement kReplacements[] = {
    {'\x84', "ae"}, {'\x94', "oe"}, {'\x81', "ue"}, {'\x8e', "Ae"}, {'\x99', "Oe"}, {'\x9a', "Ue"}, {'\xe1', "ss"},
};

// The upper half of CP850 in the user's character set; where it has no such
// character, the German replacement or the unknown character.
HighHalfText high_half_for_screen(iconv_t encoder) {
  HighHalfText text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char byte = static_cast<char>(0x80 + i);
    std::optional<std::string> converted;
    if (encoder != kNoConverter) {
      converted = convert(encoder, {&byte, 1});
    }
    if (!converted) {
      const auto* replacement = std::find_if(std::begin(kReplacements), std::end(kReplacements),
                                             [byte](const Replacement& r) { return r.letter == byte; });
      converted =
          replacement != std::end(kReplacements) ? std::string(replacement->text) : std::string(1, kUnknownCharacter);
    }
    text[i] = std::move(*converted);
  }
  return text;
}

HighHalfChars high_half_chars(iconv_t widener) {
  HighHalfChars chars{};
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char byte = static_cast<char>(0x80 + i);
    const std::optional<std::string> wide = convert(widener, {&byte, 1});
    if (wide && wide->size() == sizeof(wchar_t)) {
      std::memcpy(&chars[i], wide->data(), sizeof(wchar_t));
    }
  }
  return chars;
}

// Output that goes to a screen is written so that it reads right there;
// output that goes elsewhere is converted only where the user's character
// set holds the program's letters, or keeps the program's bytes.
// A screen gets each piece recoded as it is written, and so does a file or
// a pipe where `recoded` (standard error, in a character set that holds
// the program's letters); otherwise the bytes go on as they are.
std::streambuf* output_for(std::streambuf* raw, bool to_screen, bool recoded, const HighHalfText& high_half) {
  // The standard streams use these up to the very end of the process,
  // after every destructor of ours has run, so they are never freed.
  return recoded || to_screen ? new LineRecodingOutput(*raw, high_half) : raw;
}

// The one recoder of standard output's blocks, where it has one.
Recoder* block_recoder = nullptr;

std::string_view recode_block(std::string_view block) { return block_recoder->recode(block.data(), block.size()); }

// The character set the input's next stage reads: the user's where the
// input is recoded from it, else the program's (the input as it stands).
std::string input_charset = kProgramCharset;

// Text in `codeset` as CP850, as near as it can be; unchanged where it
// cannot be converted at all.
std::string in_program_charset(const std::string& text, const std::string& codeset) {
  if (codeset == kAsciiCharset) {
    return text;
  }
  const iconv_t to_program = iconv_open(kProgramCharsetApproximated, codeset.c_str());
  if (to_program == kNoConverter) {
    return text;
  }
  std::string converted = convert(to_program, text).value_or(text);
  iconv_close(to_program);
  return converted;
}

}  // namespace

std::string user_codeset() {
  const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) {
    return nl_langinfo(CODESET);
  }
  std::string codeset = nl_langinfo_l(CODESET, user);
  freelocale(user);
  return codeset;
}

StreamBuffers convert_to_user_charset(StreamBuffers raw, Screens screens) {
  const std::string codeset = user_codeset();
  const bool to_a_screen = screens.output_is_terminal || screens.error_is_terminal;
  if (codeset == kAsciiCharset) {
    // The C locale: the program's bytes as they stand into files and pipes,
    // with no converter to load; a screen gets the replacements.
    if (!to_a_screen) {
      return raw;
    }
    const HighHalfText high_half = high_half_for_screen(kNoConverter);
    return {raw.input, output_for(raw.output, screens.output_is_terminal, false, high_half),
            output_for(raw.error, screens.error_is_terminal, false, high_half)};
  }
  StreamBuffers used = raw;
  const iconv_t encoder = iconv_open(codeset.c_str(), kProgramCharset);
  const iconv_t widener = iconv_open(kWideCharset, kProgramCharset);
  const iconv_t decoder = iconv_open(kWideCharset, codeset.c_str());
  const bool usable =
      encoder != kNoConverter && widener != kNoConverter && decoder != kNoConverter && holds_letters_in_use(encoder);
  if (usable || to_a_screen) {
    const HighHalfText high_half = high_half_for_screen(encoder);
    // Standard output into a file or a pipe is recoded a block at a time,
    // as its own buffer writes it: in one pass, with no buffer between.
    const bool output_by_block = usable && !screens.output_is_terminal;
    used.output = output_for(raw.output, screens.output_is_terminal, false, high_half);
    used.error = output_for(raw.error, screens.error_is_terminal, usable, high_half);
    if (output_by_block) {
      block_recoder = new Recoder(high_half);
      used.recode_block = recode_block;
    }
  }
  if (usable) {
    used.input = new RecodingInput(*raw.input, decoder, high_half_chars(widener));
    input_charset = codeset;
  }
  // Without a usable conversion the user's input is read as it stands.
  for (const iconv_t converter : {encoder, widener, usable ? kNoConverter : decoder}) {
    if (converter != kNoConverter) {
      iconv_close(converter);
    }
  }
  return used;
}

// Asked only of UTF-16 input, whose converter is opened at its first
// character beyond ASCII. glibc's wchar_t holds the character's number.
std::string input_bytes_for(char16_t character) {
  static const iconv_t encoder = iconv_open(input_charset.c_str(), kWideCharset);
  const auto wide = static_cast<wchar_t>(character);
  std::optional<std::string> bytes;
  if (encoder != kNoConverter) {
    bytes = convert(encoder, std::string_view(reinterpret_cast<const char*>(&wide), sizeof wide));
  }
  return bytes.value_or(std::string(1, kUnknownCharacter));
}

Writer writer_for(bool /*to_terminal*/) {
  return [](int file, const char* bytes, std::size_t count) -> long { return write(file, bytes, count); };
}

std::string describe_error(int error) {
  // The text in the user's language, got in UTF-8 where that locale is
  // there, so that no letter is lost before it becomes CP850.
  locale_t messages = newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(nullptr));
  if (messages == static_cast<locale_t>(nullptr)) {
    return std::strerror(error);  // the C locale's English: ASCII
  }
  std::string codeset = kUtf8Charset;
  locale_t in_codeset = newlocale(LC_CTYPE_MASK, kUtf8Locale, messages);
  if (in_codeset == static_cast<locale_t>(nullptr)) {
    codeset = user_codeset();
    in_codeset = newlocale(LC_CTYPE_MASK, "", messages);
  }
  if (in_codeset == static_cast<locale_t>(nullptr)) {
    in_codeset = messages;
    codeset = kAsciiCharset;
  }
  const std::string text = strerror_l(error, in_codeset);
  freelocale(in_codeset);
  return in_program_charset(text, codeset);
}

namespace {

void append_escaped(std::string& shown, std::string_view bytes) {
  constexpr std::string_view kHexDigits = "0123456789abcdef";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    shown += {'\\', 'x', kHexDigits[byte >> 4U], kHexDigits[byte & 0xFU]};
  }
}

// One character of the user's, in CP850, where CP850 has it.
std::optional<std::string> in_cp850(iconv_t exact, std::string_view character) {
  if (exact == kNoConverter) return std::nullopt;
  return convert(exact, character);
}

}  // namespace

// Each character that shows as itself (a letter, digit, mark or the
// space) in CP850, where CP850 has it; each other one, and each byte that
// begins no character of the user's locale, written as \xHH, as shells
// quote them: text the user gave is named as it was typed, never as other
// letters, as blank or as nothing, and never sends the terminal a control
// sequence.
std::string to_program_charset(std::string_view text) {
  const std::string codeset = user_codeset();
  const bool ascii = codeset == kAsciiCharset;
  const iconv_t exact = ascii ? kNoConverter : iconv_open(kProgramCharset, codeset.c_str());
  const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(user != static_cast<locale_t>(nullptr) ? user : LC_GLOBAL_LOCALE);
  std::string shown;
  std::mbstate_t state{};
  for (std::size_t at = 0; at < text.size();) {
    wchar_t character = 0;
    const std::size_t length = std::mbrtowc(&character, text.data() + at, text.size() - at, &state);
    const bool decoded =
        length != static_cast<std::size_t>(-1) && length != static_cast<std::size_t>(-2) && length != 0;
    if (!decoded) {
      append_escaped(shown, text.substr(at, 1));
      state = std::mbstate_t{};
      ++at;
      continue;
    }
    const std::string_view bytes = text.substr(at, length);
    at += length;
    std::optional<std::string> letters;
    if (shows_as_itself(character)) {
      // ASCII is the same in CP850.
      const bool in_ascii = bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) < 0x80;
      letters = in_ascii ? std::optional<std::string>(bytes) : in_cp850(exact, bytes);
    }
    if (letters) {
      shown += *letters;
    } else {
      append_escaped(shown, bytes);
    }
  }
  uselocale(previous);
  if (user != static_cast<locale_t>(nullptr)) freelocale(user);
  if (exact != kNoConverter) iconv_close(exact);
  return shown;
}

}  // namespace charset
