#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "gateway/core/history_reader.h"
#include "gateway/history/aggregate.h"

namespace brivane::gateway {

inline constexpr std::int64_t kMinute = 60;
inline constexpr std::int64_t kHour = 3600;

// The coarsest stored resolution (minutes or hours) that still gives every one of points
// buckets between from and to a row of its own.
std::int64_t ResolutionFor(std::int64_t from, std::int64_t to, int points);

// Rows (start time, aggregate; sorted by time, resolution apart or more) merged into
// at most points buckets of equal width between from and to; empty buckets are left out.
std::vector<HistoryPoint> Downsample(const std::vector<std::pair<std::int64_t, Aggregate>>& rows,
                                     std::int64_t from, std::int64_t to, int points,
                                     std::int64_t resolution);

// Where retention cuts: rows that began before this go (Unix seconds).
inline std::int64_t RetentionCutoff(std::int64_t now, int days) {
  return now - static_cast<std::int64_t>(days) * 86400;
}

}  // namespace brivane::gateway
