#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brivane::gateway {

// Where to connect: a host name or address and a TCP port.
struct HostPort {
  std::string host;
  std::uint16_t port = 0;

  std::string Text() const;  // "host:port", an IPv6 address in brackets
  bool operator==(const HostPort&) const = default;
};

// "HOST", "HOST:PORT", "[IPv6]" or "[IPv6]:PORT", blanks around it ignored; the port
// 1 to 65535, defaultPort when absent. Nothing for anything else.
std::optional<HostPort> ParseHostPort(std::string_view text, std::uint16_t defaultPort);

}  // namespace brivane::gateway
