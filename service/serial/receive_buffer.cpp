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
    if (carriageReturn == std::string_view::npos) {
      if (rest.size() >= kOpenRecordLimit) {
        consumed = ReceiveBuffer_.size();
        RecordOpen_ = false;
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
