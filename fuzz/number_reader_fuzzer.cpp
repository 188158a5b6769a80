// Reads arbitrary bytes as a number twice, with the bounded reader and with
// the standard extraction, and checks that both give the same value to the
// last bit, the same stream state and leave the same rest. Run with inputs
// longer than the reader keeps digits (-max_len=8192), so that dropped
// digits are tried too.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "calculator/number_reader.hpp"

namespace {

struct Read {
  std::uint64_t bits = 0;
  std::ios::iostate state = std::ios::goodbit;
  std::string rest;
};

template <typename Extract>
Read read_with(const std::string& input, Extract extract) {
  std::istringstream in(input);
  double value = 0.5;
  extract(in, value);
  Read read{std::bit_cast<std::uint64_t>(value), in.rdstate(), {}};
  in.clear();
  read.rest.assign(std::istreambuf_iterator<char>(in), {});
  return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const Read standard = read_with(input, [](std::istream& in, double& value) { in >> value; });
  const Read bounded = read_with(input, [](std::istream& in, double& value) { calculator::read_double(in, value); });
  if (bounded.bits != standard.bits || bounded.state != standard.state || bounded.rest != standard.rest) {
    std::fprintf(
        stderr, "bounded: bits %016llx state %d rest %zu bytes; standard: bits %016llx state %d rest %zu bytes\n",
        static_cast<unsigned long long>(bounded.bits), static_cast<int>(bounded.state), bounded.rest.size(),
        static_cast<unsigned long long>(standard.bits), static_cast<int>(standard.state), standard.rest.size());
    std::abort();
  }
  return 0;
}
