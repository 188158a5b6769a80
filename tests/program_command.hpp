#pragma once

#include <unistd.h>

// Replaces the calling process with the built program, started through the
// emulator where it was built for another machine; returns only if that fails.
inline void exec_program(char* const environment[]) {
  static const char* const command[] = {TASCHENRECHNER_COMMAND, nullptr};
  execve(command[0], const_cast<char* const*>(command), environment);
}
