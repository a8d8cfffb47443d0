#include "gateway/history/downsample.h"

#include <algorithm>

namespace brivane::gateway {

std::int64_t ResolutionFor(std::int64_t from, std::int64_t to, int points) {
  const std::int64_t span = std::max<std::int64_t>(to - from, 1);
  return span / std::max(points, 1) >= kHour ? kHour : kMinute;
}

std::vector<HistoryPoint> Downsample(const std::vector<std::pair<std::int64_t, Aggregate>>& rows,
                                     std::int64_t from, std::int64_t to, int points,
                                     std::int64_t resolution) {
  std::vector<HistoryPoint> out;
  if (to <= from || points < 1) {
    return out;
  }
  // Whole rows per bucket, and enough of them that from..to needs at most points buckets.
  const std::int64_t span = to - from;
  std::int64_t width = (span + points - 1) / points;
  width = std::max(resolution, (width + resolution - 1) / resolution * resolution);
  std::int64_t bucket = -1;
  Aggregate merged;
  auto emit = [&] {
    if (merged.count > 0) {
      out.push_back({from + bucket * width, merged.Mean(), merged.min, merged.max});
    }
  };
  for (const auto& [time, value] : rows) {
    if (time < from - (resolution - 1) || time >= to) {
      continue;
    }
    const std::int64_t index = std::max<std::int64_t>(time - from, 0) / width;
    if (index != bucket) {
      emit();
      bucket = index;
      merged = Aggregate{};
    }
    merged.Merge(value);
  }
  emit();
  return out;
}

}  // namespace brivane::gateway
