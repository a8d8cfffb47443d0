#pragma once

#include <cstdint>
#include <vector>

namespace brivane::bench {

// p50, p99 and max of a set of samples, in milliseconds.
struct Spread {
  double p50 = 0;
  double p99 = 0;
  double max = 0;
  std::uint64_t samples = 0;
};

// Sorts samples in place (nearest-rank percentiles).
Spread Summarise(std::vector<double>& samples);

}  // namespace brivane::bench
