#include "common/network_info.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include "common/number_text.h"

namespace brivane {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<std::vector<std::string>> ReadAddressTable() {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) {
    return std::nullopt;
  }
  std::vector<std::string> table;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
      continue;
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
      table.emplace_back(text);
    }
  }
  freeifaddrs(interfaces);
  return table;
}

bool IsValidIPAddress(std::string_view text) {
  if (TrimBlanks(text).empty() || text.find('.') == std::string_view::npos || text == "0.0.0.0") {
    return false;
  }
  // The pieces are taken untrimmed, and anything that is not a number counts as 0.
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const auto dot = text.find('.', start);
    pieces.push_back(text.substr(start, dot - start));
    if (dot == std::string_view::npos) {
      break;
    }
    start = dot + 1;
  }
  if (pieces.size() != 4) {
    return false;
  }
  for (auto piece : pieces) {
    const double value = NumericValue(piece);
    if (!(value >= 0 && value <= 255)) {
      return false;
    }
  }
  return true;
}

bool GetLocalIPAddresses(std::vector<std::string>& list, const AddressTableReader& read) {
  list.clear();
  const auto table = read();
  if (!table) {
    return false;
  }
  for (const auto& address : *table) {
    if (address != "127.0.0.1") {
      list.push_back(address);
    }
  }
  return !list.empty();
}

bool IsLocalIPAddress(std::string_view text, const AddressTableReader& read) {
  if (!IsValidIPAddress(text)) {
    return false;
  }
  if (text == "127.0.0.1") {
    return true;
  }
  std::vector<std::string> local;
  if (!GetLocalIPAddresses(local, read)) {
    return false;
  }
  for (const auto& address : local) {
    if (address == text) {
      return true;
    }
  }
  return false;
}

}  // namespace brivane
