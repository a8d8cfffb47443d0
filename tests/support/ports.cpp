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

// A bound socket, or -1 with errno set.
int BindSocket(int type, std::uint16_t port, bool reuse) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  const int on = 1;
  if (reuse) {
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  const sockaddr_in address = AnyAddress(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
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
    const int tcp = BindSocket(SOCK_STREAM, 0, false);
    if (tcp < 0) {
      continue;
    }
    const std::uint16_t port = BoundPort(tcp);
    const int udp = BindSocket(SOCK_DGRAM, port, false);
    ::close(tcp);
    if (udp >= 0) {
      ::close(udp);
      return port;
    }
  }
  throw std::runtime_error("no free port");
}

bool TcpPortFree(std::uint16_t port) {
  const int fd = BindSocket(SOCK_STREAM, port, true);
  if (fd < 0) {
    return false;
  }
  ::close(fd);
  return true;
}

bool UdpPortFree(std::uint16_t port) {
  const int fd = BindSocket(SOCK_DGRAM, port, false);
  if (fd < 0) {
    return false;
  }
  ::close(fd);
  return true;
}

PortHolder::PortHolder(Protocol protocol, std::uint16_t port) {
  const bool tcp = protocol == Protocol::kTcp;
  fd_ = BindSocket(tcp ? SOCK_STREAM : SOCK_DGRAM, port, false);
  if (fd_ >= 0 && tcp && ::listen(fd_, 4) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) {
    error_ = std::strerror(errno);
  }
}

PortHolder::~PortHolder() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

}  // namespace brivane::testkit
