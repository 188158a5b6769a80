// The console operations as no-ops, so that the main cycle runs on string
// streams alone.
#include "console/console.hpp"

namespace console {

void set_title(std::string_view /*title*/) {}
void restore_terminal() {}
void pause_for_key() {}
void clear_screen() {}

}  // namespace console
