// The line editor on its own, in a pseudo-terminal: how it leaves the
// terminal between two lines, a moment the whole program passes too
// quickly for a user (or a test) to catch from outside.
#include "line_editor/line_editor.hpp"

#include <gtest/gtest.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include "../program_command.hpp"

namespace {

// What the child reports with its exit status.
enum Outcome { kSilent = 0, kEchoing = 1, kWrongLine = 2, kNoEditor = 3 };

[[noreturn]] void read_one_line_and_report() {
  setenv("TERM", "xterm", 1);
  if (!line_editor::edits_lines()) _exit(kNoEditor);
  const auto line = line_editor::read_edited_line("> ");
  struct termios modes {};
  tcgetattr(STDIN_FILENO, &modes);
  if (!line || *line != "12\n") _exit(kWrongLine);
  _exit((modes.c_lflag & (ECHO | ICANON)) == 0 ? kSilent : kEchoing);
}

// Keys typed then must neither be echoed by the terminal (and again by the
// editor) nor held back as a line of the terminal's own, Ctrl+D above all.
TEST(LineEditor, LeavesTheTerminalWithoutEchoOrLineModeBetweenTwoLines) {
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(write(master, "12\r", 3), 3);  // typed ahead: the small echo fits the terminal's buffer
  const pid_t test = getpid();
  const pid_t child = fork();
  if (child == 0) {
    end_with_parent(test);
    close(master);
    login_tty(terminal);
    read_one_line_and_report();
  }
  close(terminal);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(master);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), kSilent) << "1: echo or line mode on, 2: line not read, 3: no line editor";
}

}  // namespace
