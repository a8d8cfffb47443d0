// The address checks with any text, and IsLocalIPAddress against an address table
// taken from the input.
//
// Input: the text to check, then optionally a NUL byte and the table: entries
// separated by NUL bytes. A table that begins with the byte 0xFF cannot be read.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/network_info.h"
#include "common/number_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// A plain model of the dotted-quad check, one condition at a time.
bool ModelIsValid(std::string_view text) {
  if (text.find_first_not_of(' ') == std::string_view::npos) {
    return false;
  }
  if (text.find('.') == std::string_view::npos || text == "0.0.0.0") {
    return false;
  }
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '.') {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  if (pieces.size() != 4) {
    return false;
  }
  return std::all_of(pieces.begin(), pieces.end(), [](std::string_view piece) {
    const double value = brivane::NumericValue(piece);
    return value >= 0 && value <= 255;
  });
}

std::vector<std::string> Split(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\0') {
      parts.emplace_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto nul = input.find('\0');
  const std::string_view text = input.substr(0, nul);

  const bool valid = brivane::IsValidIPAddress(text);
  FUZZ_REQUIRE(valid == ModelIsValid(text));

  // The table: unreadable, or the entries after the first NUL.
  std::optional<std::vector<std::string>> table;
  if (nul != std::string_view::npos) {
    const std::string_view rest = input.substr(nul + 1);
    if (rest.empty() || static_cast<unsigned char>(rest[0]) != 0xFF) {
      table = Split(rest);
    }
  } else {
    table = std::vector<std::string>{"192.168.1.20", "127.0.0.1", "10.0.0.1"};
  }
  int reads = 0;
  const brivane::AddressTableReader reader = [&] {
    ++reads;
    return table;
  };

  std::vector<std::string> listed{"left over from before"};
  const bool any = brivane::GetLocalIPAddresses(listed, reader);
  std::vector<std::string> expected;
  if (table) {
    std::copy_if(table->begin(), table->end(), std::back_inserter(expected),
                 [](const std::string& entry) { return entry != "127.0.0.1"; });
  }
  FUZZ_REQUIRE(listed == expected);
  FUZZ_REQUIRE(any == !expected.empty());

  reads = 0;
  const bool local = brivane::IsLocalIPAddress(text, reader);
  const bool expectedLocal =
      valid &&
      (text == "127.0.0.1" || std::find(expected.begin(), expected.end(), text) != expected.end());
  FUZZ_REQUIRE(local == expectedLocal);
  // Neither an invalid text nor the loopback needs the table.
  if (!valid || text == "127.0.0.1") {
    FUZZ_REQUIRE(reads == 0);
  }

  // Every address as the platform writes it is valid, except 0.0.0.0.
  if (size >= 4) {
    in_addr address;
    std::memcpy(&address, data, sizeof address);
    char written[INET_ADDRSTRLEN] = {};
    FUZZ_REQUIRE(inet_ntop(AF_INET, &address, written, sizeof written) != nullptr);
    FUZZ_REQUIRE(brivane::IsValidIPAddress(written) == (address.s_addr != 0));
  }
  return 0;
}
