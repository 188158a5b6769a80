#include "calculator/number_reader.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Read {
  std::uint64_t bits = 0;
  std::ios::iostate state = std::ios::goodbit;
  std::string rest;

  bool operator==(const Read&) const = default;
};

void PrintTo(const Read& read, std::ostream* os) {
  *os << "bits " << std::hex << read.bits << " state " << read.state << " rest \"" << read.rest.substr(0, 40) << '"';
}

template <typename Extract>
Read read_with(const std::string& input, Extract extract) {
  std::istringstream in(input);
  double value = 0.5;  // so that an untouched value shows
  extract(in, value);
  Read read{std::bit_cast<std::uint64_t>(value), in.rdstate(), {}};
  in.clear();
  read.rest.assign(std::istreambuf_iterator<char>(in), {});
  return read;
}

std::string repeated(char c, std::size_t count) { return std::string(count, c); }

// Each input is read by the bounded reader and by the standard extraction;
// value bits, stream state and what is left must agree.
TEST(NumberReader, ReadsEveryInputAsTheStandardExtractionDoes) {
  const std::string far_tie = "9007199254740993";  // halfway between two doubles
  const std::string inputs[] = {
      "", "  ", "+", "-", ".", "-.", "+.5", "1.", ".e5", "e5", "1e", "1e+", "1e-x", "1e5x", "1E-3 ", "3,5", "1.2.3",
      "0x1p3", "inf", "nan", "-0", "-0.0e9", "00012.5000", "1e308", "1e309", "-1e309", "2e-308", "4.9e-324", "2.4e-324",
      "1e-400", "-1e-400",
      // Rounding decided by a digit far beyond those that can be kept.
      far_tie, far_tie + "." + repeated('0', 3000), far_tie + "." + repeated('0', 3000) + "1",
      far_tie + repeated('0', 3000) + "1e-3001", "0." + repeated('0', 5000) + "1e5001",
      "1" + repeated('0', 5000) + "e-5000", repeated('7', 5000) + " 1", "1." + repeated('3', 5000) + "x",
      // Exponents past any range, and long runs of zeros in them.
      "1e+" + repeated('0', 5000) + "1", "1e99999999999999999999999", "1e-99999999999999999999999",
      "0e99999999999999999999999", "0." + repeated('0', 100) + "1e-99999999999999999999999",
      "1" + repeated('0', 400) + "e-99999999999999999999999"};
  for (const std::string& input : inputs) {
    SCOPED_TRACE(input.substr(0, 60));
    const Read standard = read_with(input, [](std::istream& in, double& value) { in >> value; });
    const Read bounded = read_with(input, [](std::istream& in, double& value) { calculator::read_double(in, value); });
    EXPECT_EQ(bounded, standard);
  }
}

// The point halfway between a double and the next one up, written with
// `digits` significant digits ("%.*Le": long double holds it exactly on
// every Linux target).
std::string halfway_above(double number, int digits) {
  const long double halfway = (static_cast<long double>(number) + std::nextafter(number, INFINITY)) / 2;
  std::vector<char> text(static_cast<std::size_t>(digits) + 32);
  std::snprintf(text.data(), text.size(), "%.*Le", digits - 1, halfway);
  return text.data();
}

// That point, and the same with the last digit one lower or higher.
void add_near_halfway(std::vector<std::string>& inputs, double number, int digits) {
  const std::string written = halfway_above(number, digits);
  inputs.push_back(written);
  const std::size_t last = written.find('e') - 1;
  for (const int step : {-1, 1}) {
    std::string moved = written;
    const char digit = static_cast<char>(moved[last] + step);
    if (digit >= '0' && digit <= '9') {
      moved[last] = digit;
      inputs.push_back(moved);
    }
  }
}

// Inputs where a reader that rounds twice, or drops a digit that decides
// the rounding, gets a value one bit off: 16 to 20 significant digits
// beside a halfway point, with the exponents for which a short number's
// product or quotient with a power of ten would be exact; and halfway
// points of any size written out in full, alone and followed by a nonzero
// digit right behind them or 2000 digits further.
TEST(NumberReader, ReadsInputsBesideHalfwayPointsAsTheStandardExtractionDoes) {
  std::mt19937_64 random(20261209);
  std::uniform_int_distribution<int> exponents(-22, 22);
  std::uniform_real_distribution<double> mantissas(1.0, 10.0);
  std::vector<std::string> inputs;
  for (int i = 0; i < 20000; ++i) {
    const double number = mantissas(random) * std::pow(10.0, exponents(random) + 16);
    add_near_halfway(inputs, number, 16 + i % 5);
  }
  std::uniform_int_distribution<std::uint64_t> any_bits(0, 0x7feffffffffffffe);  // below the largest
  for (int i = 0; i < 300; ++i) {
    const std::string full = halfway_above(std::bit_cast<double>(any_bits(random)), 1001);
    const std::size_t mark = full.find('e');
    const std::string exponent = full.substr(mark);
    const std::string digits = full.substr(0, mark);
    inputs.push_back(full);
    std::string right_behind = digits;
    inputs.push_back(right_behind.append("1").append(exponent));
    std::string far_behind = digits.substr(0, digits.find_last_not_of('0') + 1);
    inputs.push_back(far_behind.append(2000, '0').append("1").append(exponent));
  }
  int mismatches = 0;
  for (const std::string& input : inputs) {
    const Read standard = read_with(input, [](std::istream& in, double& value) { in >> value; });
    const Read bounded = read_with(input, [](std::istream& in, double& value) { calculator::read_double(in, value); });
    if (!(bounded == standard) && ++mismatches <= 10) {
      ADD_FAILURE() << input.substr(0, 60) << ": " << testing::PrintToString(bounded) << " instead of "
                    << testing::PrintToString(standard);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Numbers of up to 15 digits times every power of ten from 10^-23 to 10^23,
// written with the point anywhere among the digits and the exponent made
// up for it, and without an exponent at all: they reach each power the
// reader keeps for its exact products and quotients, and just past the
// largest, the general conversion that takes over. strtod's value is the
// one to get, with all the characters taken.
TEST(NumberReader, ReadsEveryPowerOfTenAsStrtodDoes) {
  // strtod follows the program's locale; only the C locale's is the reader's.
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  constexpr int kMostDigits = 15;
  constexpr int kLargestPower = 23;
  std::mt19937_64 random(20270114);
  std::uniform_int_distribution<int> leading_digits(1, 9);
  std::uniform_int_distribution<int> other_digits(0, 9);
  std::vector<std::string> inputs;
  for (int count = 1; count <= kMostDigits; ++count) {
    const auto length = static_cast<std::size_t>(count);
    std::vector<std::string> mantissas = {"1" + repeated('0', length - 1), repeated('9', length),
                                          std::string("123456789012345").substr(0, length)};
    for (int i = 0; i < 3; ++i) {
      std::string digits(1, static_cast<char>('0' + leading_digits(random)));
      while (digits.size() < length) digits += static_cast<char>('0' + other_digits(random));
      mantissas.push_back(digits);
    }
    for (const std::string& digits : mantissas) {
      for (int power = -kLargestPower; power <= kLargestPower; ++power) {
        // digits x 10^power, with `point` digits before the point.
        for (int point = 0; point <= count; ++point) {
          const auto before = static_cast<std::size_t>(point);
          const int exponent = power + count - point;
          const int variant = point + power + kLargestPower;  // not negative, so % cycles through all
          const char* const sign = variant % 3 == 0 ? "-" : variant % 3 == 1 ? "+" : "";
          const char* const mark = variant % 2 == 0 ? "e" : "E";
          const char* const exponent_sign = exponent >= 0 && variant % 4 < 2 ? "+" : "";
          inputs.push_back(sign + digits.substr(0, before) + "." + digits.substr(before) + mark + exponent_sign +
                           std::to_string(exponent));
        }
        // The same without an exponent: zeros behind an integer, or the
        // point within the digits or before zeros ahead of them.
        if (power >= 0) {
          inputs.push_back(digits + repeated('0', static_cast<std::size_t>(power)));
        } else if (-power < count) {
          inputs.push_back(digits.substr(0, length - static_cast<std::size_t>(-power)) + "." +
                           digits.substr(length - static_cast<std::size_t>(-power)));
        } else {
          inputs.push_back("-0." + repeated('0', static_cast<std::size_t>(-power - count)) + digits);
        }
      }
    }
  }
  int mismatches = 0;
  for (const std::string& input : inputs) {
    const Read expected{std::bit_cast<std::uint64_t>(std::strtod(input.c_str(), nullptr)), std::ios::eofbit, ""};
    const Read bounded = read_with(input, [](std::istream& in, double& value) { calculator::read_double(in, value); });
    if (!(bounded == expected) && ++mismatches <= 10) {
      ADD_FAILURE() << input << ": " << testing::PrintToString(bounded) << " instead of "
                    << testing::PrintToString(expected);
    }
  }
  EXPECT_EQ(mismatches, 0) << "of " << inputs.size() << " inputs";
}

}  // namespace
