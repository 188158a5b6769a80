#pragma once

#include <iosfwd>

namespace calculator {

// Reads a number exactly as `in >> number` does in the classic locale: the
// same characters taken, the same value to the last bit, the same failures
// and stream state, the same rest left for the next read. Unlike the
// standard extraction it keeps no more than a fixed number of digits
// however long the word is, so its memory does not grow with the input.
std::istream& read_double(std::istream& in, double& number);

// The same for a caller that has skipped the white space itself and found
// the stream good with more to read: without the stream's sentry, which
// would look for white space again.
std::istream& read_double_after_white_space(std::istream& in, double& number);

}  // namespace calculator
