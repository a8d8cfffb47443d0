#include "service/serial/receive_buffer.h"

namespace brivane {

void ReceiveBuffer::ExtractDataFromBuffer(const RecordFn& onRecord) {
  // Consumed characters are counted and erased once at the end.
  std::size_t consumed = 0;
  for (;;) {
    std::string_view rest(ReceiveBuffer_);
    rest.remove_prefix(consumed);
    if (rest.empty()) {
      break;
    }
    if (!RecordOpen_) {
      const std::size_t lineFeed = rest.find('\n');
      if (lineFeed == std::string_view::npos || rest.size() >= kRecordBoundaryLimit) {
        consumed = ReceiveBuffer_.size();
        break;
      }
      consumed += lineFeed;
      rest.remove_prefix(lineFeed);
      RecordOpen_ = true;
    }
    const std::size_t carriageReturn = rest.find('\r');
    if (carriageReturn == std::string_view::npos || carriageReturn >= kOpenRecordLimit) {
      if (rest.size() >= kOpenRecordLimit) {
        // The record passed the bound before its end came: it is dropped, as if the
        // bytes had arrived one by one. What follows the bound is text outside a
        // record, and the next pass drops it up to the next line feed.
        consumed += kOpenRecordLimit;
        RecordOpen_ = false;
        continue;
      }
      break;
    }
    // rest[0] is the opening line feed, so the carriage return lies after it.
    const std::string record(rest.substr(1, carriageReturn - 1));
    consumed += carriageReturn + 1;
    RecordOpen_ = false;
    onRecord(record);
  }
  ReceiveBuffer_.erase(0, consumed);
}

}  // namespace brivane
