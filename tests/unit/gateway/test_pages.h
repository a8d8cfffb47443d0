#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace brivane::gateway::test {

// A page from its fields without the checksum: the checksum is added so that it decodes.
inline std::string WithChecksum(std::string_view body) {
  int sum = 0;
  for (char c : body) {
    if (c != ',') {
      sum += c - '0';
    }
  }
  char tail[8];
  std::snprintf(tail, sizeof tail, ",%03d", sum % 1000);
  return std::string(body) + tail;
}

inline constexpr std::string_view kFxPage = "0,00,00,00,119,000,00,00,000,01,254,008,000,031";
inline constexpr std::string_view kMxPage = "B,00,24,18,082,045,05,65,000,02,264,0105,00,088";

// A FLEXnet DC page on port 1 carrying the extra-data item id with value.
inline std::string FndcPage(std::string_view id, std::string_view value) {
  return WithChecksum("a,0150,0043,0000," + std::string(id) + "," + std::string(value) +
                      ",252,085,001,18,22");
}

}  // namespace brivane::gateway::test
