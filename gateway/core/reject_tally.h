#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace brivane::gateway {

// Rejected pages are counted and reported at most once a minute, with the count and
// the latest reason, so that a noisy line cannot flood the journal.
class RejectTally {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  explicit RejectTally(std::chrono::milliseconds period = std::chrono::minutes(1))
      : period_(period) {}

  // The line to log now, if the last one is a period old.
  std::optional<std::string> OnReject(const std::string& reason, const std::string& page,
                                      TimePoint now);
  // The line for what was counted since, once the period has passed.
  std::optional<std::string> Flush(TimePoint now);
  // When Flush has something to say.
  std::optional<TimePoint> NextFlush() const;

  unsigned long long Total() const { return total_; }

 private:
  std::string Line();

  std::chrono::milliseconds period_;
  std::optional<TimePoint> lastLog_;
  unsigned long long counted_ = 0;
  unsigned long long total_ = 0;
  std::string latest_;
};

}  // namespace brivane::gateway
