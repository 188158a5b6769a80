#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <string_view>

#include "terminal/process_group.hpp"

namespace terminal {
namespace {

struct ProcessLinks {
  pid_t parent = 0;
  pid_t group = 0;
  pid_t session = 0;
  bool ended = false;  // a zombie, which the kernel does not count
};

// "/proc/<pid>/stat" into `path`, without the C library's formatting.
void stat_path(pid_t pid, std::array<char, 32>& path) {
  constexpr std::string_view kHead = "/proc/";
  constexpr std::string_view kTail = "/stat";
  std::array<char, 16> digits{};
  std::size_t count = 0;
  for (auto rest = static_cast<unsigned long>(pid); count == 0 || rest != 0; rest /= 10) {
    digits[count++] = static_cast<char>('0' + rest % 10);
  }
  std::size_t at = 0;
  for (const char c : kHead) path[at++] = c;
  while (count > 0) path[at++] = digits[--count];
  for (const char c : kTail) path[at++] = c;
  path[at] = '\0';
}

// The fields after the name, which may hold any character but ends at the
// last ")": state, parent, group, session.
bool read_links(pid_t pid, ProcessLinks& links) {
  std::array<char, 32> path{};
  stat_path(pid, path);
  const int file = open(path.data(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    return false;
  }
  std::array<char, 1024> stat{};
  const ssize_t got = read(file, stat.data(), stat.size() - 1);
  close(file);
  if (got <= 0) {
    return false;
  }
  const char* const end = stat.data() + got;
  const char* at = end;
  while (at > stat.data() && at[-1] != ')') --at;
  const bool ended = at + 1 < end && at[1] == 'Z';
  std::array<long, 4> fields{};  // state (skipped), parent, group, session
  for (long& field : fields) {
    while (at < end && *at == ' ') ++at;
    if (at == end) return false;
    const bool negative = *at == '-';
    if (negative) ++at;
    for (; at < end && *at != ' '; ++at) field = *at >= '0' && *at <= '9' ? field * 10 + (*at - '0') : field;
    field = negative ? -field : field;
  }
  links = {static_cast<pid_t>(fields[1]), static_cast<pid_t>(fields[2]), static_cast<pid_t>(fields[3]), ended};
  return true;
}

pid_t own_session = -1;

// The pid a name in /proc stands for; 0 for the names that are no process.
pid_t pid_named(const char* name) {
  pid_t pid = 0;
  for (; *name >= '0' && *name <= '9'; ++name) pid = pid * 10 + (*name - '0');
  return *name == '\0' ? pid : 0;
}

// A member of the group whose parent is in another group of the same
// session: the shell whose job the group is. A parent beyond the pid
// namespace (0) is not known, and taken for one.
bool links_to_a_shell(const ProcessLinks& member, const ProcessLinks& self) {
  ProcessLinks parent;
  if (member.parent <= 0) {
    return true;
  }
  return read_links(member.parent, parent) && parent.group != self.group && parent.session == self.session;
}

}  // namespace

void find_own_session() { own_session = getsid(0); }

// Every member of the group, not only the program's own line of parents:
// in `sh -c 'taschenrechner; :' | cat` whose sh has gone, cat still ties
// the group to its shell. The program's own links come from system calls,
// not from /proc, which an emulator (qemu's user mode) answers for its
// process with made-up fields.
bool group_is_orphaned() {
  const pid_t self_pid = getpid();
  const ProcessLinks self{getppid(), getpgrp(), own_session, false};
  if (self.session < 0 || links_to_a_shell(self, self)) {
    return false;
  }
  const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) {
    return false;
  }
  bool orphaned = true;
  alignas(struct dirent64) std::array<char, 4096> entries{};
  for (ssize_t got = 0; orphaned && (got = getdents64(proc, entries.data(), entries.size())) > 0;) {
    for (std::size_t at = 0; orphaned && at < static_cast<std::size_t>(got);) {
      const auto* entry = reinterpret_cast<const struct dirent64*>(entries.data() + at);
      at += entry->d_reclen;
      const pid_t pid = pid_named(entry->d_name);
      ProcessLinks member;
      if (pid > 0 && pid != self_pid && read_links(pid, member) && member.group == self.group && !member.ended) {
        orphaned = !links_to_a_shell(member, self);
      }
    }
  }
  close(proc);
  return orphaned;
}

}  // namespace terminal
