#include "bench/common/spread.h"

#include <algorithm>
#include <cmath>

namespace brivane::bench {

namespace {

double Rank(const std::vector<double>& sorted, double fraction) {
  const auto index =
      static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
  return sorted[std::min(sorted.size() - 1, index == 0 ? 0 : index - 1)];
}

}  // namespace

Spread Summarise(std::vector<double>& samples) {
  Spread spread;
  spread.samples = samples.size();
  if (samples.empty()) {
    return spread;
  }
  std::sort(samples.begin(), samples.end());
  spread.p50 = Rank(samples, 0.50);
  spread.p99 = Rank(samples, 0.99);
  spread.max = samples.back();
  return spread;
}

}  // namespace brivane::bench
