#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace brivane::gateway {

// Mean, minimum and maximum of the samples of one value over a span of time.
struct Aggregate {
  double sum = 0;
  double min = 0;
  double max = 0;
  std::uint32_t count = 0;

  void Add(double value);
  void Merge(const Aggregate& other);
  double Mean() const { return count == 0 ? 0 : sum / count; }
  bool operator==(const Aggregate&) const = default;
};

// A device's values over one span: key -> aggregate.
using ValueAggregates = std::map<std::string, Aggregate>;

// One device's minute (or hour): time is Unix seconds at its start.
struct SpanRow {
  std::string device;
  std::int64_t time = 0;
  ValueAggregates values;
};

}  // namespace brivane::gateway
