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

namespace {

constexpr std::string_view kAsk = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: ";
constexpr std::string_view kFirstPrompt = "Geb' die erste Zahl ein: ";
constexpr std::string_view kSecondPrompt = "Geb' die zweite Zahl ein: ";
constexpr int kPasses = 300;

struct Driver {
  int to_program = -1;
  int from_program = -1;
  pid_t child = -1;
  std::string seen;
  std::size_t mark = 0;

  // Reads until `text` arrives after the mark; false if the program fell
  // silent for 30 s, which on any machine means it waits as well.
  bool wait_for(std::string_view text) {
    for (;;) {
      const std::size_t at = seen.find(text, mark);
      if (at != std::string::npos) {
        mark = at + text.size();
        return true;
      }
      struct pollfd ready {
        from_program, POLLIN, 0
      };
      char buffer[4096];
      if (poll(&ready, 1, 30000) <= 0) return false;
      const ssize_t got = read(from_program, buffer, sizeof buffer);
      if (got <= 0) return false;
      seen.append(buffer, static_cast<std::size_t>(got));
    }
  }

  void answer(std::string_view text) const {
    ASSERT_EQ(write(to_program, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
};

TEST(OverPipes, EachPromptArrivesBeforeTheProgramWaitsForItsAnswer) {
  int in[2];
  int out[2];
  ASSERT_EQ(pipe(in), 0);
  ASSERT_EQ(pipe(out), 0);
  Driver driver{in[1], out[0], fork(), {}, 0};
  if (driver.child == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    char locale[] = "LC_ALL=C";
    char* environment[] = {locale, nullptr};
    execle(TASCHENRECHNER_PATH, TASCHENRECHNER_PATH, static_cast<char*>(nullptr), environment);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);

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
  close(driver.to_program);
  int status = 0;
  waitpid(driver.child, &status, 0);
  close(driver.from_program);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
