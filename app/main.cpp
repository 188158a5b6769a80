#include <iostream>

#include "app/main_cycle.hpp"
#include "console/console.hpp"

int main() {
  // The standard streams keep buffers of their own rather than passing every
  // character through C stdio; flushing still writes each line at once.
  std::ios::sync_with_stdio(false);
  console::adapt_streams_to_console_charset();
  return app::run_main_cycle(std::cin, std::cout);
}
