#include "calculator/number_reader.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <sstream>
#include <string>

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

}  // namespace
