#pragma once

#include <string_view>

namespace mate {

// The MATE's additive checksum over the text of a page before its checksum field:
// every character but the commas counts as its code minus 48, so a digit counts its
// value, ':' counts 10 and a letter address 'A' 17, 'a' 49.
int PageChecksum(std::string_view textBeforeChecksum);

}  // namespace mate
