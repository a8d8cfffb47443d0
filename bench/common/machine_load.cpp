#include "bench/common/machine_load.h"

#include <fstream>
#include <string>

namespace brivane::bench {

LoadAverage ReadLoadAverage() {
  LoadAverage load;
  std::ifstream("/proc/loadavg") >> load.one >> load.five >> load.fifteen;
  return load;
}

MachineTicks ReadMachineTicks() {
  MachineTicks ticks;
  std::ifstream stat("/proc/stat");
  std::string cpu;
  stat >> cpu;
  // user nice system idle iowait irq softirq steal; guest time is already in user.
  std::uint64_t value = 0;
  for (int field = 0; field < 8 && stat >> value; ++field) {
    ticks.total += value;
    if (field != 3 && field != 4) {
      ticks.busy += value;
    }
  }
  return ticks;
}

double BusyShare(const MachineTicks& before, const MachineTicks& after) {
  const auto total = after.total - before.total;
  return total == 0 ? 0
                    : static_cast<double>(after.busy - before.busy) / static_cast<double>(total);
}

}  // namespace brivane::bench
