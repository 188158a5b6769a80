#pragma once

#include <unistd.h>

#include <string>

#include "program_command.hpp"

// The built program with both standard streams on pipes, in the given
// locale (C or C.UTF-8, which every system has) and with no other
// environment.
struct PipedProgram {
  pid_t child = -1;
  int input = -1;   // what is written here is the program's standard input
  int output = -1;  // the program's standard output is read from here
};

inline PipedProgram start_piped_program(const char* locale = "C") {
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0) {
    return {};
  }
  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    for (const int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    std::string setting = std::string("LC_ALL=") + locale;
    char* environment[] = {setting.data(), nullptr};
    exec_program(environment);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  return {child, in[1], out[0]};
}
