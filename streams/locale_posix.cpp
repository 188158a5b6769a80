#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "streams/user_locale.hpp"

namespace streams {
namespace {

constexpr const char* kProgramCharset = "CP850";
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

StreamBuffers convert_to_user_charset(StreamBuffers raw) {
  const std::string codeset = user_codeset();
  if (codeset == kAsciiCharset) {
    return raw;  // the C locale: nothing to convert to, and no converter to load
  }
  StreamBuffers used = raw;
  const iconv_t encoder = iconv_open(codeset.c_str(), kProgramCharset);
  const iconv_t widener = iconv_open(kWideCharset, kProgramCharset);
  const iconv_t decoder = iconv_open(kWideCharset, codeset.c_str());
  const bool usable =
      encoder != kNoConverter && widener != kNoConverter && decoder != kNoConverter && holds_letters_in_use(encoder);
  if (usable) {
    HighHalfText high_half_text;
    HighHalfChars high_half_chars{};
    for (std::size_t i = 0; i < high_half_text.size(); ++i) {
      const char byte = static_cast<char>(0x80 + i);
      high_half_text[i] = convert(encoder, {&byte, 1}).value_or(std::string(1, kUnknownCharacter));
      const std::optional<std::string> wide = convert(widener, {&byte, 1});
      if (wide && wide->size() == sizeof(wchar_t)) {
        std::memcpy(&high_half_chars[i], wide->data(), sizeof(wchar_t));
      }
    }
    // The standard streams use these up to the very end of the process,
    // after every destructor of ours has run, so they are never freed.
    used.output = new RecodingOutput(*raw.output, std::move(high_half_text));
    used.input = new RecodingInput(*raw.input, decoder, high_half_chars);
  }
  // Without a usable conversion the CP850 bytes are written as they stand.
  for (const iconv_t converter : {encoder, widener, usable ? kNoConverter : decoder}) {
    if (converter != kNoConverter) {
      iconv_close(converter);
    }
  }
  return used;
}

std::string describe_error(int error) {
  const locale_t user = newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(nullptr));
  if (user == static_cast<locale_t>(nullptr)) {
    return std::strerror(error);
  }
  std::string text = strerror_l(error, user);
  freelocale(user);
  return text;
}

}  // namespace streams
