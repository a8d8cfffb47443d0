#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Records (LF, text, CR) found in a byte stream read in pieces of any size: a MATE's
// serial output or the bridge's TCP stream with its greeting line.
namespace mate {

// A record with more text than this before its CR is dropped unread, as the bridge
// drops it, so a line that never ends cannot eat memory.
inline constexpr std::size_t kLongestRecordText = 64 * 1024 - 1;

class RecordFramer {
 public:
  void Append(std::string_view bytes);

  // The text of the next complete record, without its LF and CR: a page's 47
  // characters, or whatever stood between LF and CR so that it can be rejected with
  // a reason. Bytes outside a record are skipped; a second LF before the CR starts
  // the record afresh. Nothing while no record is complete.
  std::optional<std::string> Next();

 private:
  std::string pending_;  // appended, not yet looked at from position_ on
  std::size_t position_ = 0;
  bool open_ = false;
  std::string record_;  // text of the open record so far
};

}  // namespace mate
