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
  std::uint64_t readCalls = 0;   // /proc/<pid>/io syscr: read, recv and the like
  std::uint64_t writeCalls = 0;  // syscw
  int threads = 0;
};

ProcessFigures ReadProcessFigures(pid_t pid);

// What a process spent between two readings of its figures.
struct ProcessCost {
  double cpuSeconds = 0;  // user + system, in clock ticks
  double userSeconds = 0;
  double systemSeconds = 0;
  double runSeconds = 0;      // from schedstat, nanosecond resolution
  std::uint64_t wakeUps = 0;  // context switches, voluntary and not
  std::uint64_t voluntarySwitches = 0;
  std::uint64_t involuntarySwitches = 0;
  std::uint64_t readCalls = 0;
  std::uint64_t writeCalls = 0;
  std::uint64_t peakRssKiB = 0;  // over the process's life, at the second reading
  int threads = 0;
};

ProcessCost CostBetween(const ProcessFigures& before, const ProcessFigures& after);

// Open file descriptors of the process (/proc/<pid>/fd).
int OpenDescriptors(pid_t pid);

// Whether the process holds a descriptor on path (compared after resolving links).
bool HoldsFile(pid_t pid, const char* path);

}  // namespace brivane::bench
