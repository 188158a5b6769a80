#include <cstring>
#include <string>

#include "streams/user_locale.hpp"

namespace streams {

// The console shows the program's CP850 bytes itself and types CP850.
StreamBuffers convert_to_user_charset(StreamBuffers raw) { return raw; }

std::string describe_error(int error) { return std::strerror(error); }

}  // namespace streams
