#include "keys/keys.hpp"

// The Windows console reads keys and lines itself: nothing is read ahead.
namespace keys {

std::size_t take_read_ahead(char* /*bytes*/, std::size_t /*room*/) { return 0; }

}  // namespace keys
