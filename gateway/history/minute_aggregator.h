#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/history/aggregate.h"

namespace brivane::gateway {

// The values of a decoded state worth a chart: numbers, not flags, bit fields, codes
// or the hub port.
std::map<std::string, double> NumericValues(const nlohmann::json& state);

// Unix seconds at the start of the minute that holds time.
std::int64_t MinuteOf(std::int64_t time);

// Gathers every device's states into minutes: a minute is closed when a later one
// begins (by a state or by the clock) and is then taken to be written.
class MinuteAggregator {
 public:
  // A state read at time (Unix seconds).
  void Add(const std::string& device, const nlohmann::json& state, std::int64_t time);
  // The minutes that ended before time's minute began.
  std::vector<SpanRow> TakeClosed(std::int64_t time);
  // Every minute, the open ones too (the gateway stops).
  std::vector<SpanRow> TakeAll();

 private:
  std::map<std::string, SpanRow> open_;  // by device
  std::vector<SpanRow> closed_;
};

}  // namespace brivane::gateway
