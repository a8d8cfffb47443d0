#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brivane::bench {

// One FX page as a MATE sends it, with the sequence number as its second field:
// LF "0,<8 digits>,..." CR.
std::string MakeRecord(std::uint64_t sequence);

// The sequence number of a received record text (no LF, no CR), when it is one of ours.
std::optional<std::uint64_t> SequenceOf(std::string_view text);

// What one client received: records cut out of its byte stream as it arrives, checked
// for loss, reordering and duplicates against the increasing sequence numbers.
class ReceivedRecords {
 public:
  // Feeds bytes; calls onRecord(sequence) for every record completed by them.
  template <typename OnRecord>
  void Feed(std::string_view bytes, OnRecord&& onRecord) {
    pending_.append(bytes);
    std::size_t consumed = 0;
    for (std::size_t cr = pending_.find('\r'); cr != std::string::npos;
         cr = pending_.find('\r', consumed)) {
      // A record runs from the last LF before its CR; the greeting's CR LF opens nothing.
      const std::size_t lf = pending_.rfind('\n', cr);
      if (lf != std::string::npos && lf >= consumed) {
        if (const auto sequence =
                SequenceOf(std::string_view(pending_).substr(lf + 1, cr - lf - 1))) {
          Note(*sequence);
          onRecord(*sequence);
        }
      }
      consumed = cr + 1;
    }
    pending_.erase(0, consumed);
  }

  std::uint64_t Received() const { return received_; }
  std::uint64_t OutOfOrder() const { return outOfOrder_; }
  std::uint64_t Duplicates() const { return duplicates_; }
  std::uint64_t Last() const { return last_; }
  // Records missing from 1 to sent, given the gaps seen and the tail not received.
  std::uint64_t Lost(std::uint64_t sent) const;

 private:
  void Note(std::uint64_t sequence);

  std::string pending_;
  std::uint64_t received_ = 0;
  std::uint64_t outOfOrder_ = 0;
  std::uint64_t duplicates_ = 0;
  std::uint64_t gaps_ = 0;
  std::uint64_t last_ = 0;
};

}  // namespace brivane::bench
