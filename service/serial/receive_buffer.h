#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Text received from the MATE and not yet consumed, and the cutting of complete
// records (line feed, text, carriage return) out of it. No port here.
namespace brivane {

// Between records: a buffer this long or longer is discarded whole.
inline constexpr std::size_t kRecordBoundaryLimit = 1024;
// While a record is open and no carriage return comes: at this size the buffer is
// emptied and no record is open, so a line that never ends cannot eat memory.
inline constexpr std::size_t kOpenRecordLimit = 64 * 1024;

class ReceiveBuffer {
 public:
  // Receives each complete record, without its line feed and carriage return.
  using RecordFn = std::function<void(const std::string& record)>;

  // Bytes pass through unchanged, those above 127 included.
  void Append(std::string_view received) { ReceiveBuffer_.append(received); }

  // Takes every complete record from the front of the buffer, in order, and hands
  // it to onRecord; drops what cannot be part of a record.
  void ExtractDataFromBuffer(const RecordFn& onRecord);

  const std::string& Text() const { return ReceiveBuffer_; }
  // True while the buffer begins with the line feed of an unfinished record.
  bool RecordOpen() const { return RecordOpen_; }

 private:
  std::string ReceiveBuffer_;
  bool RecordOpen_ = false;
};

}  // namespace brivane
