// Drives the built program over pipes as another program would: each answer
// is sent only once the prompt for it has arrived. Output to a pipe is held
// in a buffer, so this deadlocks unless the program writes what it holds
// before it waits for input.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "piped_program.hpp"

namespace {

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kFirstPrompt = "Geb' die erste Zahl ein: ";
constexpr std::string_view kSecondPrompt = "Geb' die zweite Zahl ein: ";
constexpr int kPasses = 300;

struct Driver {
  PipedProgram program;
  std::string seen;
  std::size_t mark = 0;

  // Reads until `text` arrives after the mark; false if the program fell
  // silent for as long as a test waits, which on any machine means that it
  // waits as well.
  bool wait_for(std::string_view text) {
    for (;;) {
      const std::size_t at = seen.find(text, mark);
      if (at != std::string::npos) {
        mark = at + text.size();
        return true;
      }
      struct pollfd ready {
        program.output, POLLIN, 0
      };
      char buffer[4096];
      if (poll(&ready, 1, static_cast<int>(patience().count())) <= 0) return false;
      const ssize_t got = read(program.output, buffer, sizeof buffer);
      if (got <= 0) return false;
      seen.append(buffer, static_cast<std::size_t>(got));
    }
  }

  void answer(std::string_view text) const {
    ASSERT_EQ(write(program.input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
};

// In the C locale the program's bytes go out as they are; in a UTF-8 one
// through a conversion that holds a block of its own, which must be
// written before a read waits as well.
class OverPipes : public testing::TestWithParam<const char*> {};

TEST_P(OverPipes, EachPromptArrivesBeforeTheProgramWaitsForItsAnswer) {
  Driver driver;
  driver.program = start_piped_program(GetParam());
  ASSERT_GT(driver.program.child, 0);

  for (int pass = 0; pass < kPasses; ++pass) {
    SCOPED_TRACE(pass);
    ASSERT_TRUE(driver.wait_for(kAsk)) << driver.seen.substr(driver.mark);
    driver.answer("+\n");
    ASSERT_TRUE(driver.wait_for(kFirstPrompt));
    driver.answer(std::to_string(pass) + "\n");
    ASSERT_TRUE(driver.wait_for(kSecondPrompt));
    driver.answer("1\n");
    ASSERT_TRUE(driver.wait_for("  " + std::to_string(pass) + "+1  ist: " + std::to_string(pass + 1) + "\n"));
  }
  ASSERT_TRUE(driver.wait_for(kAsk));
  close(driver.program.input);
  int status = 0;
  waitpid(driver.program.child, &status, 0);
  close(driver.program.output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

INSTANTIATE_TEST_SUITE_P(Locales, OverPipes, testing::Values("C", "C.UTF-8"), [](const auto& info) {
  return std::string(info.param) == "C" ? std::string("C") : std::string("C_UTF_8");
});

}  // namespace
