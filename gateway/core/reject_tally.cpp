#include "gateway/core/reject_tally.h"

namespace brivane::gateway {

std::optional<std::string> RejectTally::OnReject(const std::string& reason, const std::string& page,
                                                 TimePoint now) {
  ++counted_;
  ++total_;
  latest_ = reason + ": \"" + page + "\"";
  if (lastLog_ && now - *lastLog_ < period_) {
    return std::nullopt;
  }
  lastLog_ = now;
  return Line();
}

std::optional<std::string> RejectTally::Flush(TimePoint now) {
  if (counted_ == 0 || (lastLog_ && now - *lastLog_ < period_)) {
    return std::nullopt;
  }
  lastLog_ = now;
  return Line();
}

std::optional<RejectTally::TimePoint> RejectTally::NextFlush() const {
  if (counted_ == 0 || !lastLog_) {
    return std::nullopt;
  }
  return *lastLog_ + period_;
}

std::string RejectTally::Line() {
  std::string line = counted_ == 1 ? "rejected a page: "
                                   : "rejected " + std::to_string(counted_) +
                                         " pages in the last minute, the latest: ";
  line += latest_;
  counted_ = 0;
  return line;
}

}  // namespace brivane::gateway
