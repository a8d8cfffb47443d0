#pragma once

#include <sys/types.h>

#include <cstdint>

namespace brivane::bench {

// What the kernel counts for a process, summed over its threads where it counts per
// thread.
struct ProcessFigures {
  double userSeconds = 0;     // /proc/<pid>/stat utime
  double systemSeconds = 0;   // /proc/<pid>/stat stime
  double runNanoseconds = 0;  // /proc/<pid>/task/*/schedstat, finer than clock ticks
  std::uint64_t voluntarySwitches = 0;
  std::uint64_t involuntarySwitches = 0;
  std::uint64_t peakRssKiB = 0;  // VmHWM
  std::uint64_t rssKiB = 0;      // VmRSS
  int threads = 0;
};

ProcessFigures ReadProcessFigures(pid_t pid);

// Open file descriptors of the process (/proc/<pid>/fd).
int OpenDescriptors(pid_t pid);

// Whether the process holds a descriptor on path (compared after resolving links).
bool HoldsFile(pid_t pid, const char* path);

}  // namespace brivane::bench
