#include "mate/record_framer.h"

#include <utility>

namespace mate {

void RecordFramer::Append(std::string_view bytes) {
  pending_.erase(0, position_);
  position_ = 0;
  pending_.append(bytes);
}

std::optional<std::string> RecordFramer::Next() {
  for (;;) {
    if (!open_) {
      const std::size_t lineFeed = pending_.find('\n', position_);
      if (lineFeed == std::string::npos) {
        pending_.clear();
        position_ = 0;
        return std::nullopt;
      }
      position_ = lineFeed + 1;
      open_ = true;
      record_.clear();
    }
    const std::size_t end = pending_.find_first_of("\n\r", position_);
    const std::string_view piece = std::string_view(pending_).substr(
        position_, end == std::string::npos ? std::string::npos : end - position_);
    if (record_.size() + piece.size() > kLongestRecordText) {
      // Dropped; what follows is outside a record up to the next LF.
      open_ = false;
      record_.clear();
      position_ = end == std::string::npos ? pending_.size() : end;
      continue;
    }
    record_.append(piece);
    if (end == std::string::npos) {
      pending_.clear();
      position_ = 0;
      return std::nullopt;
    }
    position_ = end + 1;
    if (pending_[end] == '\n') {
      record_.clear();
      continue;
    }
    open_ = false;
    return std::exchange(record_, {});
  }
}

}  // namespace mate
