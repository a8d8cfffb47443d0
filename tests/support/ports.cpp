#include "tests/support/ports.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace brivane::testkit {

namespace {

sockaddr_in AnyAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  return address;
}

// A bound socket, or none with errno set.
UniqueFd BindSocket(int type, std::uint16_t port, bool reuse) {
  UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  if (!fd) {
    return fd;
  }
  const int on = 1;
  if (reuse) {
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  const sockaddr_in address = AnyAddress(port);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    fd.reset();
    errno = error;
  }
  return fd;
}

std::uint16_t BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

std::uint16_t FreePort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    UniqueFd tcp = BindSocket(SOCK_STREAM, 0, false);
    if (!tcp) {
      continue;
    }
    const std::uint16_t port = BoundPort(tcp.get());
    const UniqueFd udp = BindSocket(SOCK_DGRAM, port, false);
    tcp.reset();
    if (udp) {
      return port;
    }
  }
  throw std::runtime_error("no free port");
}

bool TcpPortFree(std::uint16_t port) {
  return static_cast<bool>(BindSocket(SOCK_STREAM, port, true));
}

bool UdpPortFree(std::uint16_t port) {
  return static_cast<bool>(BindSocket(SOCK_DGRAM, port, false));
}

PortHolder::PortHolder(Protocol protocol, std::uint16_t port) {
  const bool tcp = protocol == Protocol::kTcp;
  fd_ = BindSocket(tcp ? SOCK_STREAM : SOCK_DGRAM, port, false);
  if (fd_ && tcp && ::listen(fd_.get(), 4) != 0) {
    const int error = errno;
    fd_.reset();
    errno = error;
  }
  if (!fd_) {
    error_ = std::strerror(errno);
  }
}

}  // namespace brivane::testkit
