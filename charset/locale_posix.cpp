#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

// Writes the program's CP850 bytes in the user's character set.
class RecodingOutput final : public std::streambuf {
 public:
  RecodingOutput(std::streambuf& target, HighHalfText high_half) : target_(target), high_half_(std::move(high_half)) {}

 private:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return traits_type::not_eof(c);
    }
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      return target_.sputc(static_cast<char>(byte));
    }
    const std::string& text = high_half_[byte - 0x80];
    const auto size = static_cast<std::streamsize>(text.size());
    return target_.sputn(text.data(), size) == size ? c : traits_type::eof();
  }

  // Runs of ASCII go through in one piece; the locale's character sets all
  // share ASCII with CP850.
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    std::streamsize done = 0;
    while (done < count) {
      std::streamsize ascii = 0;
      while (done + ascii < count && static_cast<unsigned char>(text[done + ascii]) < 0x80) {
        ++ascii;
      }
      if (ascii > 0 && target_.sputn(text + done, ascii) != ascii) {
        break;
      }
      done += ascii;
      if (done < count) {
        if (traits_type::eq_int_type(overflow(traits_type::to_int_type(text[done])), traits_type::eof())) {
          break;
        }
        ++done;
      }
    }
    return done;
  }

  int sync() override { return target_.pubsync(); }

  std::streambuf& target_;
  const HighHalfText high_half_;
};

// Reads the user's characters, one at a time, as CP850 bytes. It takes from
// its source only the bytes of the character it hands out, so whatever the
// source holds beyond that stays there.
class RecodingInput final : public std::streambuf {
 public:
  RecodingInput(std::streambuf& source, iconv_t decoder, const HighHalfChars& high_half)
      : source_(source), decoder_(decoder), high_half_(high_half) {}

 private:
  int_type underflow() override {
    const int_type c = next_character();
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return c;
    }
    current_ = traits_type::to_char_type(c);
    setg(&current_, &current_, &current_ + 1);
    return c;
  }

  int_type next_byte() {
    if (traits_type::eq_int_type(held_, traits_type::eof())) {
      return source_.sbumpc();
    }
    return std::exchange(held_, traits_type::eof());
  }

  int_type next_character() {
    std::string pending;
    for (;;) {
      const int_type byte = next_byte();
      if (traits_type::eq_int_type(byte, traits_type::eof())) {
        return pending.empty() ? byte : traits_type::to_int_type(kUnknownCharacter);
      }
      if (pending.empty() && byte < 0x80) {
        return byte;  // ASCII stands for itself in every character set a locale uses
      }
      pending.push_back(traits_type::to_char_type(byte));

      wchar_t wide = 0;
      char* in = pending.data();
      std::size_t in_left = pending.size();
      char* out = reinterpret_cast<char*>(&wide);
      std::size_t out_left = sizeof wide;
      iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
      if (iconv(decoder_, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1)) {
        return traits_type::to_int_type(to_program_char(wide));
      }
      if (errno != EINVAL) {
        // A broken sequence: the byte that broke it may start the next character.
        if (pending.size() > 1) {
          held_ = byte;
        }
        return traits_type::to_int_type(kUnknownCharacter);
      }
    }
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
  int_type held_ = traits_type::eof();
  char current_ = 0;
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
std::streambuf* output_for(std::streambuf* raw, bool to_screen, bool convertible, const HighHalfText& high_half) {
  // The standard streams use these up to the very end of the process,
  // after every destructor of ours has run, so they are never freed.
  return convertible || to_screen ? new RecodingOutput(*raw, high_half) : raw;
}

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
    used.output = output_for(raw.output, screens.output_is_terminal, usable, high_half);
    used.error = output_for(raw.error, screens.error_is_terminal, usable, high_half);
  }
  if (usable) {
    used.input = new RecodingInput(*raw.input, decoder, high_half_chars(widener));
  }
  // Without a usable conversion the user's input is read as it stands.
  for (const iconv_t converter : {encoder, widener, usable ? kNoConverter : decoder}) {
    if (converter != kNoConverter) {
      iconv_close(converter);
    }
  }
  return used;
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

std::string to_program_charset(std::string_view text) { return in_program_charset(std::string(text), user_codeset()); }

}  // namespace charset
