#include "app/main_cycle.hpp"

#include <cstdlib>
#include <ostream>
#include <string_view>

#include "calculator/dialog.hpp"
#include "calculator/texts.hpp"
#include "console/console.hpp"

namespace app {
namespace {

// Followed on its line by the pause's prompt.
constexpr std::string_view kClosingText =
    "Um eine erneute Rechenaufgabe zu l"
    "\x94"
    "sen ";

void write_closing_text(std::ostream& out) {
  calculator::end_line(out);
  calculator::write_text(out, kClosingText);
}

}  // namespace

int run_main_cycle(std::istream& in, std::ostream& out) {
  for (;;) {
    console::set_title(kConsoleTitle);
    switch (calculator::run_calculation_dialog(in, out)) {
      case calculator::DialogEnd::input_ended: return EXIT_SUCCESS;
      case calculator::DialogEnd::input_incomplete: return EXIT_FAILURE;
      case calculator::DialogEnd::answered: break;
    }
    write_closing_text(out);
    console::pause_for_key();
    console::clear_screen();
  }
}

}  // namespace app
