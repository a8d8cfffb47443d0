#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "mate/record_framer.h"

// A byte stream turned into the decoder's output lines: one JSON object per
// accepted page, one rejection text per record that is not a page.
namespace brivane::decode {

class PageLines {
 public:
  using LineFn = std::function<void(const std::string& line)>;

  PageLines(LineFn onPage, LineFn onRejection);

  // Bytes as read; records completed by them are read at `now`.
  void Feed(std::string_view bytes, std::chrono::system_clock::time_point now);

 private:
  mate::RecordFramer framer_;
  LineFn onPage_;
  LineFn onRejection_;
};

// mate-decode: rejected "<page>": <reason>; the page in visible characters, cut short
// when it is far longer than a page.
std::string RejectionLine(std::string_view page, const std::string& reason);

}  // namespace brivane::decode
