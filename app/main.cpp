#include <iostream>

#include "app/main_cycle.hpp"
#include "console/console.hpp"

int main() {
  console::adapt_streams_to_console_charset();
  return app::run_main_cycle(std::cin, std::cout);
}
