#include "mate/checksum.h"

namespace mate {

int PageChecksum(std::string_view textBeforeChecksum) {
  int sum = 0;
  for (char c : textBeforeChecksum) {
    if (c != ',') {
      sum += static_cast<unsigned char>(c) - '0';
    }
  }
  return sum;
}

}  // namespace mate
