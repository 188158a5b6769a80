// Runs the built program on long and large piped inputs and checks that it
// ends with the right line and that its peak memory does not grow with the
// number of passes or with the size of what it reads past.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "piped_program.hpp"

namespace {

struct Outcome {
  int status = -1;
  long peak_kib = 0;
  long writes = -1;  // write calls the program made
  std::string tail;  // the last bytes the program wrote
};

// The count of write calls this process has made, together with those of
// the children it has waited for: Linux adds a child's I/O counts to its
// parent's when the parent waits for it (wait_task_zombie). An ended child
// cannot be asked itself: a zombie has no memory left, and the kernel then
// lets root alone read its /proc/<pid>/io, as a build daemon's user is not.
long writes_so_far() {
  std::ifstream io("/proc/self/io");
  for (std::string line; std::getline(io, line);) {
    if (line.starts_with("syscw:")) return std::stol(line.substr(6));
  }
  return -1;
}

// Feeds the program what `write_input` writes to the given descriptor, reads
// all it writes, and waits for it.
Outcome run_program(const std::function<void(int)>& write_input) {
  const PipedProgram program = start_piped_program();
  EXPECT_GT(program.child, 0);
  std::thread writer([&] {
    write_input(program.input);
    close(program.input);
  });

  Outcome run;
  char buffer[1 << 16];
  for (ssize_t got; (got = read(program.output, buffer, sizeof buffer)) > 0;) {
    run.tail.append(buffer, static_cast<std::size_t>(got));
    if (run.tail.size() > 4096) run.tail.erase(0, run.tail.size() - 4096);
  }
  close(program.output);
  writer.join();
  // Nothing else of this process writes while it waits.
  const long before = writes_so_far();
  struct rusage usage {};
  wait4(program.child, &run.status, 0, &usage);
  const long after = writes_so_far();
  run.writes = before < 0 || after < 0 ? -1 : after - before;
  run.peak_kib = usage.ru_maxrss;
  return run;
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::function<void(int)> passes(int count) {
  return [count](int fd) {
    std::string chunk;
    for (int i = 0; i < count; ++i) {
      chunk += "+-*/"[i % 4];
      chunk += ' ' + std::to_string(i) + ' ' + std::to_string(i % 97 + 1) + '\n';
      if (chunk.size() > 60000) {
        write_all(fd, chunk);
        chunk.clear();
      }
    }
    write_all(fd, chunk);
  };
}

// `head`, then `size` bytes of `filler`, then `tail`.
std::function<void(int)> padded(const std::string& head, std::size_t size, char filler, const std::string& tail) {
  return [=](int fd) {
    write_all(fd, head);
    const std::string block(1 << 16, filler);
    for (std::size_t left = size; left > 0; left -= std::min(left, block.size())) {
      write_all(fd, std::string_view(block).substr(0, std::min(left, block.size())));
    }
    write_all(fd, tail);
  };
}

#ifdef PROGRAM_UNDER_ADDRESS_SANITIZER
constexpr bool kProgramUnderAddressSanitizer = true;
#else
constexpr bool kProgramUnderAddressSanitizer = false;
#endif

constexpr std::size_t k64MiB = std::size_t{64} << 20;
constexpr const char* kLastPrompt = "Geb' das Rechenzeichen [+], [-], [*] oder [/] ein: \n";

class LongRuns : public testing::Test {
 protected:
  static void SetUpTestSuite() { baseline = run_program(passes(1000)); }
  static Outcome baseline;

  static void expect_same_peak_as_baseline(const Outcome& run) {
    ASSERT_EQ(baseline.status, 0);
    if (kProgramUnderAddressSanitizer) {
      // Its quarantine keeps freed memory (the number reader's text for
      // strtod is allocated and freed each time), so the peak is its own.
      return;
    }
    // Runs of the same program peak a few hundred KiB apart with no cause in
    // it (page-cache and pipe timing, the loader's placement), so a margin
    // of a tenth flakes. A real fault is far larger than this allowance: one
    // allocation kept a pass is at least 3 MiB over 100,000 passes, and a
    // huge word buffered is 64 MiB.
    constexpr long kAllowanceKiB = 1024;
    EXPECT_LE(run.peak_kib, baseline.peak_kib + kAllowanceKiB)
        << "peak " << run.peak_kib << " KiB against " << baseline.peak_kib << " KiB for 1000 passes";
  }
};
Outcome LongRuns::baseline;

TEST_F(LongRuns, ManyPassesNeedNoMoreMemoryThanAFew) {
  const Outcome run = run_program(passes(100000));
  EXPECT_EQ(run.status, 0);
  // The last task is 99999 / (99999 % 97 + 1). Any allocation kept a pass,
  // however small, takes at least 32 bytes of heap: 3 MiB here.
  EXPECT_TRUE(run.tail.ends_with(
      std::string(
          "Das Ergebnis der Rechenaufgabe  99999/90  ist: 1111.1\n\nUm eine erneute Rechenaufgabe zu l\x94sen ") +
      "Dr\x81"
      "cken Sie eine beliebige Taste . . . \n" +
      kLastPrompt))
      << run.tail;
  expect_same_peak_as_baseline(run);
  // Into a pipe in blocks of 64 KiB: about 300 writes for these 20 MB, where
  // a write a line would be 600,000.
  EXPECT_GT(run.writes, 0);
  EXPECT_LT(run.writes, 1000);
}

TEST_F(LongRuns, WhiteSpaceBeforeTheSignIsSkippedWithoutBuffering) {
  const Outcome run = run_program(padded("", k64MiB, ' ', "\n\t+ 1 2\n"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.tail.find("Das Ergebnis der Rechenaufgabe  1+2  ist: 3\n"), std::string::npos) << run.tail;
  expect_same_peak_as_baseline(run);
}

TEST_F(LongRuns, AHugeWordWhereANumberBelongsIsDroppedWithoutBuffering) {
  const Outcome run = run_program(padded("+ ", k64MiB, 'a', " 2\n* 6 7\n"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.tail.find("Fehler! Die erste Zahl ist ung\x81ltig!\n"), std::string::npos) << run.tail;
  EXPECT_NE(run.tail.find("Das Ergebnis der Rechenaufgabe  6*7  ist: 42\n"), std::string::npos) << run.tail;
  expect_same_peak_as_baseline(run);
}

TEST_F(LongRuns, AHugeNumberIsReadToItsEndWithoutBuffering) {
  // 64 MiB of digits: a number far beyond a double's range, and no value.
  const Outcome run = run_program(padded("+ 1 ", k64MiB, '9', "\n* 6 7\n"));
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.tail.find("Fehler! Die zweite Zahl ist ung\x81ltig!\n"), std::string::npos) << run.tail;
  EXPECT_NE(run.tail.find("6*7  ist: 42\n"), std::string::npos) << run.tail;
  expect_same_peak_as_baseline(run);
}

}  // namespace
