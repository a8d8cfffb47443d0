#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brivane::testkit {

// The kernel's table of IPv4 sockets in this network namespace (/proc/net/tcp, udp).
// The dotted local addresses of the TCP listeners on port, and of the UDP sockets bound
// to it; "0.0.0.0" stands for all addresses.
std::vector<std::string> TcpListenerAddresses(std::uint16_t port);
std::vector<std::string> UdpSocketAddresses(std::uint16_t port);

}  // namespace brivane::testkit
