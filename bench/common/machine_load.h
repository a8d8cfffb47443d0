#pragma once

#include <cstdint>

namespace brivane::bench {

// The machine's load average (/proc/loadavg): runnable and waiting tasks over the last
// 1, 5 and 15 minutes.
struct LoadAverage {
  double one = 0;
  double five = 0;
  double fifteen = 0;
};

LoadAverage ReadLoadAverage();

// Clock ticks of all CPUs together (/proc/stat), busy and in all, to tell how much of
// the machine other work took during a run.
struct MachineTicks {
  std::uint64_t busy = 0;
  std::uint64_t total = 0;
};

MachineTicks ReadMachineTicks();

// The busy share of the machine between two readings, 0 to 1.
double BusyShare(const MachineTicks& before, const MachineTicks& after);

}  // namespace brivane::bench
