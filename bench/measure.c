/* Runs a command and measures it, without a shell in between.

     measure run INPUT REPEATS COMMAND...   input from INPUT, output into a
                                           pipe that is read and discarded;
                                           prints the best wall time in
                                           seconds and the peak memory in KiB
     measure start REPEATS COMMAND...       input and output /dev/null; prints
                                           the mean wall time per run in
                                           microseconds */
#define _GNU_SOURCE
#include <fcntl.h>
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
  fprintf(stderr, "usage: measure run INPUT REPEATS COMMAND... | measure start REPEATS COMMAND...\n");
  return 2;
}
