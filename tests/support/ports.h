#pragma once

#include <cstdint>
#include <string>

#include "common/unique_fd.h"

namespace brivane::testkit {

// A port on which nothing listens over TCP or UDP on any address, as the kernel hands
// out free ports; tests never pick port numbers of their own.
std::uint16_t FreePort();

// Whether this process could bind the port on all addresses right now (TCP with
// SO_REUSEADDR, as servers bind, so that connections in TIME_WAIT do not count).
bool TcpPortFree(std::uint16_t port);
bool UdpPortFree(std::uint16_t port);

// Holds a port as another program would: a TCP listener or a bound UDP socket on all
// addresses, without SO_REUSEADDR. Check Held() before relying on it.
class PortHolder {
 public:
  enum class Protocol { kTcp, kUdp };
  PortHolder(Protocol protocol, std::uint16_t port);

  bool Held() const { return static_cast<bool>(fd_); }
  const std::string& Error() const { return error_; }

 private:
  UniqueFd fd_;
  std::string error_;
};

}  // namespace brivane::testkit
