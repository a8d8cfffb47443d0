#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/common/process_figures.h"
#include "bench/common/spread.h"

namespace brivane::bench {

// One bridge under the load: what its clients got and what it cost.
struct TargetResult {
  std::string name;
  int clients = 0;
  bool pinned = false;
  double seconds = 0;
  std::uint64_t recordsSent = 0;
  std::vector<std::uint64_t> receivedPerClient;
  std::uint64_t lost = 0;
  std::uint64_t outOfOrder = 0;
  std::uint64_t duplicates = 0;
  std::uint64_t clientsClosed = 0;
  Spread fanOutMs;   // first to last client receiving one record
  Spread latencyMs;  // last byte on the line to arrival, every client and record
  ProcessFigures before;
  ProcessFigures after;

  double CpuSeconds() const;
  double RunSeconds() const;  // from schedstat, nanosecond resolution
  std::uint64_t WakeUps() const;
};

// Both bridges side by side with the ratios first/second.
void PrintTable(const TargetResult& first, const TargetResult& second);
std::string Json(const std::vector<TargetResult>& results, const std::string& when);

}  // namespace brivane::bench
