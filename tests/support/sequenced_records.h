#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brivane::testkit {

// A record as the MATE frames it: LF, device address '0', the 8-digit sequence number,
// further fields, CR. filler pads the record with that many digit characters.
std::string SequencedRecord(unsigned long sequence, std::size_t filler = 0);

// Sequence numbers of the records a client received, cut from its bytes as they come;
// text that is not such a record (the greeting) is passed over.
class SequenceReader {
 public:
  template <typename OnRecord>
  void Feed(std::string_view bytes, OnRecord&& onRecord) {
    pending_.append(bytes);
    std::size_t consumed = 0;
    for (std::size_t cr = pending_.find('\r'); cr != std::string::npos;
         cr = pending_.find('\r', consumed)) {
      const std::size_t lf = pending_.rfind('\n', cr);
      if (lf != std::string::npos && lf >= consumed) {
        const long sequence = SequenceOf(std::string_view(pending_).substr(lf + 1, cr - lf - 1));
        if (sequence >= 0) {
          onRecord(static_cast<unsigned long>(sequence));
        }
      }
      consumed = cr + 1;
    }
    pending_.erase(0, consumed);
  }

 private:
  static long SequenceOf(std::string_view text);
  std::string pending_;
};

}  // namespace brivane::testkit
