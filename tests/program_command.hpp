#pragma once

#include <unistd.h>

#include <iterator>

// The built program, started through the emulator where it was built for
// another machine.
inline constexpr const char* kProgramCommand[] = {TASCHENRECHNER_COMMAND, nullptr};
inline constexpr bool kProgramEmulated = std::size(kProgramCommand) > 2;

// Replaces the calling process with the built program; returns only if that fails.
inline void exec_program(char* const environment[]) {
  execve(kProgramCommand[0], const_cast<char* const*>(kProgramCommand), environment);
}
