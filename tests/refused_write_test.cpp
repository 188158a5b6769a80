// A write to standard output that the system refuses after taking part of
// it, as a non-blocking pipe does when its reader falls behind, at every
// point a piped run writes: the flush before the first read, a full block,
// and the last flush at the end of the input; in the C locale and in a
// UTF-8 one, whose output is recoded block by block. The program must end
// with status 2 and the line that names the cause, and what it wrote must
// be a beginning of what it writes when nothing fails: no part of the
// refused block twice, nothing after it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "program_command.hpp"

namespace {

struct Ending {
  int status = -1;
  std::string output;
  std::string errors;
};

std::string read_all(int fd) {
  std::string text;
  char buffer[1 << 16];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

// The program on `input`, with its Nth write refused where `refused` is 1 or more.
Ending run_program(const std::string& locale, const std::string& input, int refused) {
  int in[2];
  int out[2];
  int err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {};
  // All of the input is there before the program starts, so that which
  // write is which does not hang on when the input arrives.
  EXPECT_LE(input.size(), 65536U) << "more than a pipe holds";
  EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in[1]);
  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (const int fd : {in[0], out[0], out[1], err[0], err[1]}) close(fd);
    std::string locale_setting = "LC_ALL=" + locale;
    std::string refusal = "TASCHENRECHNER_REFUSED_WRITE=" + std::to_string(refused);
    char preload[] = "LD_PRELOAD=" TASCHENRECHNER_REFUSED_WRITE_SHIM;
    // The sanitizers' runtime need not come first where the shim does.
    char sanitizer[] = "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0";
    char* environment[] = {locale_setting.data(), sanitizer, refusal.data(), refused > 0 ? preload : nullptr, nullptr};
    exec_program(environment);
    _exit(127);
  }
  for (const int fd : {in[0], out[1], err[1]}) close(fd);
  Ending run;
  std::thread errors([&] { run.errors = read_all(err[0]); });
  run.output = read_all(out[0]);
  errors.join();
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

std::string tasks(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "+ " + std::to_string(i) + " 2\n";
  return text;
}

struct RefusedWrite {
  const char* name;
  int tasks;
  int refused;  // which write to standard output
};

// With all input there at once, the first write is the flush before the
// first read, which takes all of it; with few tasks the second is the
// last, at the end of the input; with many, those between are full blocks.
constexpr RefusedWrite kRefusals[] = {
    {"BeforeTheFirstRead", 2000, 1},
    {"AFullBlock", 2000, 3},
    {"AtTheEndOfTheInput", 5, 2},
};

void PrintTo(const RefusedWrite& refusal, std::ostream* os) { *os << refusal.name; }

class RefusedWriteTest : public testing::TestWithParam<std::tuple<RefusedWrite, const char*>> {};

TEST_P(RefusedWriteTest, EndsTheOutputWhereItWasRefused) {
  if (kProgramEmulated) {
    GTEST_SKIP() << "the shim is loaded by the machine's own dynamic loader";
  }
  const auto& [refusal, locale] = GetParam();
  const std::string input = tasks(refusal.tasks);
  const Ending whole = run_program(locale, input, 0);
  ASSERT_EQ(whole.status, 0) << whole.errors;
  const Ending run = run_program(locale, input, refusal.refused);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.errors,
            "taschenrechner: Die Ausgabe kann nicht geschrieben werden: Resource temporarily unavailable\n");
  EXPECT_LT(run.output.size(), whole.output.size());
  EXPECT_TRUE(whole.output.starts_with(run.output))
      << run.output.size() << " bytes written, which part ways with those of a whole run at byte "
      << (std::mismatch(run.output.begin(), run.output.end(), whole.output.begin()).first - run.output.begin());
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedWriteTest,
                         testing::Combine(testing::ValuesIn(kRefusals), testing::Values("C", "C.UTF-8")),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::string(std::get<1>(info.param)) == "C" ? "_C" : "_C_UTF_8");
                         });

}  // namespace
