#pragma once

// Within the terminal module (POSIX): whether a stop can come at all.
//
// The kernel discards SIGTSTP, SIGTTIN and SIGTTOU (not SIGSTOP) for a
// process group that is orphaned: one in which no member has a parent in
// another group of the same session. A session leader's group is one (no
// shell with job control above it: under script or a service manager),
// and so is a job whose shell has gone.
namespace terminal {

// Notes the program's session, outside any handler: getsid is no function
// a handler may call, and the session does not change while the program runs.
void find_own_session();

// Whether the program's process group is orphaned, as the kernel counts it.
// Safe in a signal handler: it reads /proc with open, getdents64 and read
// alone. Without /proc, or with a parent beyond the program's pid
// namespace, the group is taken for one that can stop.
bool group_is_orphaned();

}  // namespace terminal
