#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace brivane {

inline constexpr std::string_view kJournalSocket = "/run/systemd/journal/socket";

using JournalField = std::pair<std::string_view, std::string_view>;

// One journal entry in the journal's native datagram form: "NAME=value\n" per field, or,
// for a value with a line end in it, the name, a line end, the value's length as 64-bit
// little-endian, the value and a line end.
std::string JournalEntry(std::initializer_list<JournalField> fields);

}  // namespace brivane
