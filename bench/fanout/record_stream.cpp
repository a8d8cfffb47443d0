#include "bench/fanout/record_stream.h"

#include <cstdio>

namespace brivane::bench {

std::string MakeRecord(std::uint64_t sequence) {
  char text[96];
  const int length =
      std::snprintf(text, sizeof text, "\n0,%08llu,00,00,000,122,00,00,000,02,000,02,252,008,000\r",
                    static_cast<unsigned long long>(sequence % 100000000ULL));
  return std::string(text, static_cast<std::size_t>(length));
}

std::optional<std::uint64_t> SequenceOf(std::string_view text) {
  if (text.size() < 11 || text[0] != '0' || text[1] != ',' || text[10] != ',') {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  for (std::size_t i = 2; i < 10; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  return value;
}

void ReceivedRecords::Note(std::uint64_t sequence) {
  ++received_;
  if (sequence == last_) {
    ++duplicates_;
  } else if (sequence < last_) {
    ++outOfOrder_;
  } else {
    gaps_ += sequence - last_ - 1;
    last_ = sequence;
  }
}

std::uint64_t ReceivedRecords::Lost(std::uint64_t sent) const {
  return gaps_ + (sent > last_ ? sent - last_ : 0);
}

}  // namespace brivane::bench
