#include "gateway/settings/host_port.h"

#include <algorithm>
#include <cctype>

namespace brivane::gateway {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<std::uint16_t> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  unsigned value = 0;
  for (char c : text) {
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

}  // namespace

std::string HostPort::Text() const {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<HostPort> ParseHostPort(std::string_view text, std::uint16_t defaultPort) {
  text = Trim(text);
  HostPort result;
  result.port = defaultPort;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos || close == 1) {
      return std::nullopt;
    }
    const std::string_view address = text.substr(1, close - 1);
    if (!std::all_of(address.begin(), address.end(), [](char c) {
          return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
        })) {
      return std::nullopt;
    }
    result.host = std::string(address);
    rest = text.substr(close + 1);
  } else {
    const auto colon = text.find(':');
    const std::string_view host = text.substr(0, colon);
    if (host.empty() || !std::all_of(host.begin(), host.end(), HostCharacter)) {
      return std::nullopt;
    }
    result.host = std::string(host);
    rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
  }
  if (!rest.empty()) {
    if (rest.front() != ':') {
      return std::nullopt;
    }
    const auto port = ParsePort(rest.substr(1));
    if (!port) {
      return std::nullopt;
    }
    result.port = *port;
  }
  return result;
}

}  // namespace brivane::gateway
