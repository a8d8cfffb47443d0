#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brivane::gateway {

struct HistoryPoint {
  std::int64_t time = 0;  // start of the bucket, Unix seconds
  double mean = 0;
  double min = 0;
  double max = 0;
};

// What the history keeps, as other outputs may ask for it through the core.
class HistoryReader {
 public:
  virtual ~HistoryReader() = default;
  virtual bool KnowsDevice(const std::string& device) = 0;
  virtual bool KnowsKey(const std::string& key) = 0;
  // One key of one device between from and to (Unix seconds) in at most points buckets.
  virtual std::vector<HistoryPoint> Query(const std::string& device, const std::string& key,
                                          std::int64_t from, std::int64_t to, int points) = 0;
};

}  // namespace brivane::gateway
