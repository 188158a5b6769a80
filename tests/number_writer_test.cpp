#include "calculator/number_writer.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string written_by_stream(double number) {
  std::ostringstream out;
  out << number;
  return out.str();
}

std::string written_by_writer(double number) {
  char text[calculator::kNumberTextSize];
  return {text, calculator::format_double(text, number)};
}

// The writer must give the stream's bytes for every double: the special
// values, the edges of each format, ties at the sixth digit, and many
// doubles of every exponent. A NaN alone is written "nan" whatever its
// sign and payload, where the stream writes "-nan" for some.
TEST(NumberWriter, WritesEveryDoubleAsTheStreamDoes) {
  using limits = std::numeric_limits<double>;
  std::vector<double> numbers = {0.0,
                                 -0.0,
                                 limits::infinity(),
                                 -limits::infinity(),
                                 limits::quiet_NaN(),
                                 -limits::quiet_NaN(),
                                 limits::denorm_min(),
                                 -limits::denorm_min(),
                                 limits::min(),
                                 std::nextafter(limits::min(), 0.0),
                                 limits::max(),
                                 -limits::max(),
                                 0.0001,
                                 0.00001,
                                 999999.5,
                                 9999995.0,
                                 123456.5,
                                 1.234565,
                                 0.1234565,
                                 1e15,
                                 1e16,
                                 1e-5};
  numbers.push_back(numbers[0] / numbers[0]);  // the NaN that 0/0 gives here
  for (int exponent = -330; exponent <= 310; ++exponent) {
    const double power = std::pow(10.0, exponent);
    numbers.insert(numbers.end(), {power, std::nextafter(power, 0.0), std::nextafter(power, limits::infinity()), -power,
                                   0.5 * power, 9.999995 * power});
  }
  for (int whole = -1'100'000; whole <= 1'100'000; whole += 997) {
    numbers.insert(numbers.end(), {static_cast<double>(whole), 999999.0 * (whole < 0 ? -1 : 1), 1e6, -1e6});
  }
  std::mt19937_64 bits(20261208);
  for (int i = 0; i < 300000; ++i) {
    numbers.push_back(std::bit_cast<double>(bits()));
  }
  std::mt19937 human(8);
  for (int i = 0; i < 100000; ++i) {
    numbers.push_back(static_cast<double>(static_cast<int>(human() % 2000000) - 1000000) / 1000.0);
  }
  // Decimals as people and programs write them, read as the program reads
  // them: every length from 1 to 17 significant digits, each at exponents
  // across the whole range; among them halfway points at the sixth digit
  // (a 5 in seventh place, the value itself a little above or below it),
  // and runs of nines that carry into a new first digit.
  std::mt19937_64 digits(20261210);
  for (int i = 0; i < 200000; ++i) {
    const int count = 1 + static_cast<int>(digits() % 17);
    std::string text = std::to_string(1 + digits() % 9);
    while (static_cast<int>(text.size()) < count) {
      text += static_cast<char>('0' + digits() % 10);
    }
    switch (i % 4) {
      case 0: text.resize(std::min<std::size_t>(text.size(), 6)), text += '5'; break;
      case 1: text = std::string(text.size(), '9') + text.substr(0, digits() % 3); break;
      default: break;
    }
    text.insert(1, ".");
    text += "e" + std::to_string(static_cast<int>(digits() % 600) - 300);
    numbers.push_back((i % 8 < 4 ? 1 : -1) * std::strtod(text.c_str(), nullptr));
  }
  // The doubles nearest every halfway point at the sixth digit, and their
  // neighbours a few steps away, at every exponent the writer scales at:
  // where a scaled value lands beside the point, its side tells nothing.
  std::mt19937 mantissas(5);
  for (int exponent = -30; exponent <= 30; ++exponent) {
    for (int i = 0; i < 40; ++i) {
      const int six = i == 0 ? 999999 : i == 1 ? 100000 : 100000 + static_cast<int>(mantissas() % 900000);
      const std::string text = std::to_string(six) + "5e" + std::to_string(exponent);
      double near = std::strtod(text.c_str(), nullptr);
      for (int step = 0; step < 3; ++step) near = std::nextafter(near, 0.0);
      for (int step = 0; step < 7; ++step, near = std::nextafter(near, limits::infinity())) {
        numbers.insert(numbers.end(), {near, -near});
      }
    }
  }
  int mismatches = 0;
  for (const double number : numbers) {
    const std::string expected = std::isnan(number) ? "nan" : written_by_stream(number);
    const std::string actual = written_by_writer(number);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "bits " << std::hex << std::bit_cast<std::uint64_t>(number) << ": " << actual << " instead of "
                    << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
