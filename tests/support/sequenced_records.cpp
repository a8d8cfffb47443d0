#include "tests/support/sequenced_records.h"

#include <cstdio>

namespace brivane::testkit {

std::string SequencedRecord(unsigned long sequence, std::size_t filler) {
  char head[32];
  std::snprintf(head, sizeof head, "\n0,%08lu,00,00,000,122,", sequence % 100000000UL);
  std::string record = head;
  for (std::size_t i = 0; i < filler; ++i) {
    record += static_cast<char>('0' + i % 10);
  }
  record += ",02,252\r";
  return record;
}

long SequenceReader::SequenceOf(std::string_view text) {
  if (text.size() < 11 || text[0] != '0' || text[1] != ',' || text[10] != ',') {
    return -1;
  }
  long value = 0;
  for (std::size_t i = 2; i < 10; ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return -1;
    }
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace brivane::testkit
