#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace brivane::bench {

// Characters a 19200-baud line carries in a second (8N1: ten bits a character).
inline constexpr double kLineCharactersPerSecond = 19200.0 / 10.0;

// Writes records to the MATE's end of a line at the line's own pace, however often it
// is pumped, and notes when the last byte of each went out.
class LinePacer {
 public:
  // Record number sequence (from 1) as sent: LF, text, CR.
  using MakeRecord = std::function<std::string(std::uint64_t sequence)>;

  // start: CLOCK_MONOTONIC nanoseconds at which the line begins to carry.
  LinePacer(int fd, MakeRecord makeRecord, std::int64_t start);

  // Writes what the line has carried by now (CLOCK_MONOTONIC); begins new records only
  // while more holds.
  void Pump(std::int64_t now, bool more);

  std::uint64_t RecordsBegun() const { return recordEnds_.size() - 1; }
  // Records whose last byte has been written.
  std::uint64_t RecordsSent() const { return sent_; }
  // CLOCK_REALTIME nanoseconds of the write that ended the record; 0 before it.
  std::int64_t LastByteAt(std::uint64_t sequence) const {
    return sequence < lastByteAt_.size() ? lastByteAt_[sequence] : 0;
  }
  // Everything begun has been written.
  bool Drained() const { return written_ == stream_.size(); }

 private:
  int fd_;
  MakeRecord makeRecord_;
  std::int64_t start_;
  std::string stream_;
  std::size_t written_ = 0;
  std::uint64_t sent_ = 0;
  std::vector<std::size_t> recordEnds_{0};   // [s]: stream offset after record s
  std::vector<std::int64_t> lastByteAt_{0};  // [s]: when record s's CR went out
};

}  // namespace brivane::bench
