#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iterator>

// The built program, started through the emulator where it was built for
// another machine.
inline constexpr const char* kProgramCommand[] = {TASCHENRECHNER_COMMAND, nullptr};
inline constexpr bool kProgramEmulated = std::size(kProgramCommand) > 2;

// In a child forked by a test: the child is killed when the test's process
// ends, however it ends (a test runner's time limit ends only the test's
// own process). A program that spins, or waits on a terminal nobody
// reads, then outlives no test run. `parent` is the test's process id,
// taken before the fork.
inline void end_with_parent(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) {
    _exit(125);  // the test ended before the call
  }
}

// How long a test waits for the program to show what it expects. The limit
// only ends a test that has already failed: on a busy machine the program
// may wait seconds for a core. The mutation check, whose faults are meant
// to fail tests, sets a shorter one (TASCHENRECHNER_TEST_PATIENCE_MS).
inline std::chrono::milliseconds patience() {
  static const std::chrono::milliseconds limit{[] {
    const char* set = std::getenv("TASCHENRECHNER_TEST_PATIENCE_MS");
    return set != nullptr ? std::strtol(set, nullptr, 10) : 30000L;
  }()};
  return limit;
}

// Replaces the calling process with the built program, given `argument` if
// any; returns only if that fails.
inline void exec_program(char* const environment[], const char* argument = nullptr) {
  const char* command[std::size(kProgramCommand) + 1] = {};
  std::copy(std::begin(kProgramCommand), std::end(kProgramCommand), command);
  command[std::size(kProgramCommand) - 1] = argument;
  execve(command[0], const_cast<char* const*>(command), environment);
}
