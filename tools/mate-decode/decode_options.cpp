#include "tools/mate-decode/decode_options.h"

namespace brivane::decode {

const char* const kDecodeUsage =
    "Usage: mate-decode [--bridge HOST[:PORT]]\n"
    "Decodes MATE status pages into JSON, one object per line.\n"
    "Reads a byte stream on standard input (a MATE's serial output, or the bridge's\n"
    "TCP stream with its greeting) and writes each accepted page as one line of JSON\n"
    "on standard output, flushed at once. A rejected page is one line on standard\n"
    "error with the reason, and decoding goes on.\n"
    "  --bridge HOST[:PORT]  read from a running bridge instead (port default 8467);\n"
    "                        ends when the bridge closes the connection\n"
    "  --help                show this text\n"
    "Example: mate-decode --bridge 127.0.0.1 | jq .battery_voltage\n";

namespace {

std::optional<std::uint16_t> PortOf(const std::string& text) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long value = std::stoul(text);
  if (value < 1 || value > 65535) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<BridgeAddress> ParseBridgeAddress(const std::string& text) {
  BridgeAddress address;
  std::string portText;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) {
      return std::nullopt;
    }
    address.host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        return std::nullopt;
      }
      portText = rest.substr(1);
      if (portText.empty()) {
        return std::nullopt;
      }
    }
  } else {
    const auto colon = text.find(':');
    if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
      address.host = text.substr(0, colon);
      portText = text.substr(colon + 1);
      if (portText.empty()) {
        return std::nullopt;
      }
    } else {
      address.host = text;
    }
  }
  if (address.host.empty() || address.host.find_first_of(" \t\r\n") != std::string::npos) {
    return std::nullopt;
  }
  if (!portText.empty()) {
    const auto port = PortOf(portText);
    if (!port) {
      return std::nullopt;
    }
    address.port = *port;
  }
  return address;
}

DecodeParse ParseDecodeOptions(const std::vector<std::string>& arguments) {
  DecodeOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--bridge") {
      if (i + 1 >= arguments.size()) {
        return {std::nullopt, "--bridge needs HOST[:PORT]"};
      }
      const std::string& value = arguments[++i];
      options.bridge = ParseBridgeAddress(value);
      if (!options.bridge) {
        return {std::nullopt, "bad bridge address: " + value};
      }
    } else {
      return {std::nullopt, "unknown option: " + name};
    }
  }
  return {options, ""};
}

}  // namespace brivane::decode
