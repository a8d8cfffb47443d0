#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The decoder's command line.
namespace brivane::decode {

inline constexpr std::uint16_t kDefaultBridgePort = 8467;

struct BridgeAddress {
  std::string host;
  std::uint16_t port = kDefaultBridgePort;
};

struct DecodeOptions {
  std::optional<BridgeAddress> bridge;  // read from a running bridge, not standard input
  bool help = false;
};

// The options, or an error text.
struct DecodeParse {
  std::optional<DecodeOptions> options;
  std::string error;
};
DecodeParse ParseDecodeOptions(const std::vector<std::string>& arguments);

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"; a bare IPv6 address takes no port.
std::optional<BridgeAddress> ParseBridgeAddress(const std::string& text);

extern const char* const kDecodeUsage;

}  // namespace brivane::decode
