#include "tests/support/socket_table.h"

#include <arpa/inet.h>

#include <fstream>
#include <sstream>

namespace brivane::testkit {

namespace {

constexpr const char* kTcpListen = "0A";

// Rows look like "  0: 0100007F:2112 00000000:0000 0A ...": local address and port in
// hexadecimal, the address in the kernel's byte order.
std::vector<std::string> LocalAddresses(const char* table, std::uint16_t port, const char* state) {
  std::vector<std::string> addresses;
  std::ifstream file(table);
  std::string line;
  std::getline(file, line);
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, rowState;
    fields >> slot >> local >> remote >> rowState;
    const auto colon = local.find(':');
    if (colon == std::string::npos) {
      continue;
    }
    if (std::stoul(local.substr(colon + 1), nullptr, 16) != port) {
      continue;
    }
    if (state != nullptr && rowState != state) {
      continue;
    }
    in_addr address{};
    address.s_addr = static_cast<in_addr_t>(std::stoul(local.substr(0, colon), nullptr, 16));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    addresses.emplace_back(text);
  }
  return addresses;
}

}  // namespace

std::vector<std::string> TcpListenerAddresses(std::uint16_t port) {
  return LocalAddresses("/proc/net/tcp", port, kTcpListen);
}

std::vector<std::string> UdpSocketAddresses(std::uint16_t port) {
  return LocalAddresses("/proc/net/udp", port, nullptr);
}

}  // namespace brivane::testkit
