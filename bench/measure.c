/* Runs a command and measures it, without a shell in between.

     measure run INPUT REPEATS COMMAND...   input from INPUT, output into a
                                           pipe that is read and discarded;
                                           prints the best wall time in
                                           seconds and the peak memory in KiB
     measure start REPEATS COMMAND...       input and output /dev/null; prints
                                           the mean wall time per run in
                                           microseconds
     measure paste REPEATS COMMAND...       at a pseudo-terminal (TERM=xterm),
                                           a line of 1 MiB pasted at the first
                                           number's prompt; prints the best
                                           time in milliseconds from the paste
                                           to the next prompt */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* One run; returns the wall time and stores the child's peak memory. */
static double run_once(const char *input, int drain, char **command, long *peak_kib) {
  int out[2] = {-1, -1};
  if (drain && pipe(out) != 0) exit(2);
  const double start = now();
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(input, O_RDONLY);
    dup2(in, 0);
    if (drain) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
    } else {
      dup2(open("/dev/null", O_WRONLY), 1);
    }
    execvp(command[0], command);
    _exit(127);
  }
  if (drain) {
    close(out[1]);
    static char buffer[1 << 16];
    while (read(out[0], buffer, sizeof buffer) > 0) {
    }
    close(out[0]);
  }
  int status = 0;
  struct rusage usage;
  wait4(child, &status, 0, &usage);
  const double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
    fprintf(stderr, "measure: %s did not run\n", command[0]);
    exit(2);
  }
  *peak_kib = usage.ru_maxrss;
  return elapsed;
}

/* Reads the terminal's output until `text` has been seen, writing `input`
   meanwhile as the terminal takes it; 0 when the program ended before. */
static int type_until(int master, const char *input, size_t size, const char *text) {
  static char seen[1 << 16];
  size_t seen_size = 0, written = 0;
  for (;;) {
    struct pollfd wait = {master, POLLIN | (written < size ? POLLOUT : 0), 0};
    if (poll(&wait, 1, -1) < 0) return 0;
    if (wait.revents & POLLIN) {
      if (seen_size > sizeof seen / 2) {
        memmove(seen, seen + seen_size - 256, 256);
        seen_size = 256;
      }
      const ssize_t got = read(master, seen + seen_size, sizeof seen - seen_size - 1);
      if (got <= 0) return 0;
      seen_size += (size_t)got;
      seen[seen_size] = '\0';
      if (strstr(seen, text) != NULL) return 1;
    } else if (wait.revents & POLLOUT) {
      const ssize_t put = write(master, input + written, size - written < 4096 ? size - written : 4096);
      if (put > 0) written += (size_t)put;
    } else {
      return 0;
    }
  }
}

static double paste_once(char **command) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) exit(2);
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int slave = open(ptsname(master), O_RDWR);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    setenv("TERM", "xterm", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    execvp(command[0], command);
    _exit(127);
  }
  static char line[(1 << 20) + 2];
  memset(line, '0', sizeof line - 2);
  line[sizeof line - 2] = '7';
  line[sizeof line - 1] = '\r';
  double elapsed = -1;
  if (type_until(master, "", 0, "oder [/] ein: ") && type_until(master, "+\r", 2, "erste Zahl ein: ")) {
    const double start = now();
    if (type_until(master, line, sizeof line, "zweite Zahl ein: ")) elapsed = now() - start;
  }
  kill(child, SIGKILL);
  waitpid(child, NULL, 0);
  close(master);
  if (elapsed < 0) {
    fprintf(stderr, "measure: %s did not take the paste\n", command[0]);
    exit(2);
  }
  return elapsed;
}

int main(int argc, char **argv) {
  if (argc >= 5 && strcmp(argv[1], "run") == 0) {
    const int repeats = atoi(argv[3]);
    double best = 1e30;
    long peak = 0;
    for (int i = 0; i < repeats; ++i) {
      long kib = 0;
      const double t = run_once(argv[2], 1, argv + 4, &kib);
      if (t < best) best = t;
      if (kib > peak) peak = kib;
    }
    printf("%.3f %ld\n", best, peak);
    return 0;
  }
  if (argc >= 4 && strcmp(argv[1], "start") == 0) {
    const int repeats = atoi(argv[2]);
    long kib = 0;
    double total = 0;
    for (int i = 0; i < repeats; ++i) total += run_once("/dev/null", 0, argv + 3, &kib);
    printf("%.0f\n", total / repeats * 1e6);
    return 0;
  }
  if (argc >= 4 && strcmp(argv[1], "paste") == 0) {
    const int repeats = atoi(argv[2]);
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
      const double t = paste_once(argv + 3);
      if (t < best) best = t;
    }
    printf("%.0f\n", best * 1e3);
    return 0;
  }
  fprintf(stderr, "usage: measure run INPUT REPEATS COMMAND... | measure start REPEATS COMMAND... | measure paste REPEATS COMMAND...\n");
  return 2;
}
