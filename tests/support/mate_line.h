#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace brivane::testkit {

// A MATE's end of a serial line: a pseudo-terminal whose serial end a service opens by
// the path of a symbolic link. The test keeps the serial end open too, so it can see how
// many characters wait for the service, and the service never sees a hang-up until the
// line is pulled.
class MateLine {
 public:
  // Makes link point at the new line's serial end (replacing an older link).
  explicit MateLine(const std::filesystem::path& link);
  ~MateLine();
  MateLine(const MateLine&) = delete;
  MateLine& operator=(const MateLine&) = delete;

  bool Open() const { return static_cast<bool>(master_); }
  const std::string& DevicePath() const { return devicePath_; }

  // Writes all of bytes (waits while the terminal is full); false once pulled or failed.
  bool Write(std::string_view bytes);
  // Characters written and not yet read by the service.
  std::size_t Waiting() const;
  // The device disappears: both ends close, as when an adapter is unplugged.
  void Pull();

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string devicePath_;
};

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
