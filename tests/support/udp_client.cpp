#include "tests/support/udp_client.h"

#include <sys/socket.h>

namespace brivane::testkit {

UdpClient::UdpClient() : socket_(SOCK_DGRAM) {
  socket_.Bind(0);
}

std::optional<std::string> UdpClient::Receive(std::chrono::milliseconds timeout) {
  char buffer[65536];
  const auto count = socket_.ReceiveBy(std::chrono::steady_clock::now() + timeout, buffer);
  if (!count || *count < 0) {
    return std::nullopt;
  }
  return std::string(buffer, static_cast<std::size_t>(*count));
}

}  // namespace brivane::testkit
