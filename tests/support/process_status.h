#pragma once

#include <sys/types.h>

#include <cstdint>

namespace brivane::testkit {

// Open file descriptors of a process (/proc/<pid>/fd); -1 when it cannot be read.
int OpenDescriptors(pid_t pid);

// Open sockets among them (links to "socket:[...]"); -1 when they cannot be read.
int OpenSockets(pid_t pid);

// Open TCP sockets among them (inodes found in /proc/<pid>/net/tcp and tcp6, its own
// network namespace's table): listeners and
// connections, not the journal's or other local sockets; -1 when they cannot be read.
int OpenTcpSockets(pid_t pid);

// Resident memory of a process now (VmRSS) and at its peak (VmHWM), in KiB; 0 when
// unknown.
std::uint64_t ResidentKiB(pid_t pid);
std::uint64_t PeakResidentKiB(pid_t pid);

// Raises this process's soft limit of open files towards wanted, as far as the hard
// limit allows (children inherit it); returns the soft limit in force afterwards.
std::uint64_t RaiseOpenFileLimit(std::uint64_t wanted);

}  // namespace brivane::testkit
