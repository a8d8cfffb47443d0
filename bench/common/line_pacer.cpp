#include "bench/common/line_pacer.h"

#include <unistd.h>

#include <algorithm>

#include "bench/common/clock.h"

namespace brivane::bench {

LinePacer::LinePacer(int fd, MakeRecord makeRecord, std::int64_t start)
    : fd_(fd), makeRecord_(std::move(makeRecord)), start_(start) {}

void LinePacer::Pump(std::int64_t now, bool more) {
  // The line's characters due by now, records added as the line needs them.
  const auto due =
      static_cast<std::size_t>(static_cast<double>(now - start_) / 1e9 * kLineCharactersPerSecond);
  while (more && stream_.size() < due) {
    stream_ += makeRecord_(recordEnds_.size());
    recordEnds_.push_back(stream_.size());
    lastByteAt_.push_back(0);
  }
  const std::size_t upTo = std::min(due, stream_.size());
  if (upTo <= written_) {
    return;
  }
  const ssize_t wrote = write(fd_, stream_.data() + written_, upTo - written_);
  if (wrote <= 0) {
    return;
  }
  const std::int64_t at = Nanoseconds(CLOCK_REALTIME);
  written_ += static_cast<std::size_t>(wrote);
  for (std::uint64_t s = sent_ + 1; s < recordEnds_.size() && recordEnds_[s] <= written_; ++s) {
    lastByteAt_[s] = at;
    sent_ = s;
  }
}

}  // namespace brivane::bench
