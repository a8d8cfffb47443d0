#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/loopback_socket.h"

namespace brivane::testkit {

// A UDP socket on loopback with a port of the kernel's choice, as the console or a
// client program asks from.
class UdpClient {
 public:
  UdpClient();

  bool SendTo(std::uint16_t port, std::string_view datagram) {
    return socket_.SendTo(port, datagram);
  }
  // The next datagram, or nothing within timeout.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);

 private:
  LoopbackSocket socket_;
};

}  // namespace brivane::testkit
