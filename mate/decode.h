#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "mate/page.h"

namespace mate {

// Why a record is not a page, and the record as it came (without LF and CR).
struct Rejection {
  std::string reason;  // e.g. "checksum is 031, the digits add up to 032"
  std::string page;
};

// One record as the bridge forwards it: LF, 47 characters, CR; the LF and CR may be
// left off. Values are scaled to units; an unknown mode code is kept, not rejected.
std::variant<Page, Rejection> DecodePage(std::string_view record);

// Text of a record as a message may show it: printable ASCII as itself; quotes,
// backslashes and anything else as \xNN.
std::string VisibleText(std::string_view text);

}  // namespace mate
