#include "service/host/journal_entry.h"

#include <cstdint>

namespace brivane {

std::string JournalEntry(std::initializer_list<JournalField> fields) {
  std::string entry;
  for (const auto& [name, value] : fields) {
    entry += name;
    if (value.find('\n') == std::string_view::npos) {
      entry += '=';
    } else {
      entry += '\n';
      std::uint64_t length = value.size();
      for (int byte = 0; byte < 8; ++byte) {
        entry += static_cast<char>(length & 0xFF);
        length >>= 8;
      }
    }
    entry += value;
    entry += '\n';
  }
  return entry;
}

}  // namespace brivane
