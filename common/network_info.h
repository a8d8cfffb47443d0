#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Address checks shared by both programs. Nothing here keeps state: every call reads
// the machine's address table afresh.
namespace brivane {

// The machine's IPv4 addresses as dotted-decimal texts, or nothing when the table
// cannot be read. Tests pass their own in place of ReadAddressTable.
using AddressTableReader = std::function<std::optional<std::vector<std::string>>()>;

// getifaddrs: every IPv4 address of every interface, in the order the kernel lists them.
std::optional<std::vector<std::string>> ReadAddressTable();

// A usable dotted quad, checked leniently so that no address a settings file already
// holds is refused: four pieces whose numeric values lie in 0-255 (so " 0.0.0.0",
// "a.b.c.d" and "10.0.0.1:80" pass), not exactly "0.0.0.0", not blank.
bool IsValidIPAddress(std::string_view text);

// Fills list with the machine's addresses except "127.0.0.1"; true when at least one
// was listed.
bool GetLocalIPAddresses(std::vector<std::string>& list,
                         const AddressTableReader& read = ReadAddressTable);

// True when text is valid and is "127.0.0.1" or, character for character, one of
// the listed local addresses.
bool IsLocalIPAddress(std::string_view text, const AddressTableReader& read = ReadAddressTable);

}  // namespace brivane
