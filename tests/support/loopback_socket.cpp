#include "tests/support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brivane::testkit {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool Readable(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{fd, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (ready > 0) {
      return true;
    }
    if (ready == 0 || errno != EINTR) {
      return false;
    }
  }
}

}  // namespace

LoopbackSocket::LoopbackSocket(int type) : fd_(::socket(AF_INET, type | SOCK_CLOEXEC, 0)) {}

void LoopbackSocket::Close() {
  fd_.reset();
}

bool LoopbackSocket::Connect(std::uint16_t port) {
  const sockaddr_in target = Loopback(port);
  if (fd_ && ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    Close();
  }
  return Open();
}

bool LoopbackSocket::Bind(std::uint16_t port) {
  const sockaddr_in local = Loopback(port);
  if (fd_ && ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Close();
  }
  return Open();
}

bool LoopbackSocket::Send(std::string_view data) {
  return fd_ && ::send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL) ==
                    static_cast<ssize_t>(data.size());
}

bool LoopbackSocket::SendTo(std::uint16_t port, std::string_view datagram) {
  const sockaddr_in target = Loopback(port);
  return fd_ && ::sendto(fd_.get(), datagram.data(), datagram.size(), 0,
                         reinterpret_cast<const sockaddr*>(&target),
                         sizeof target) == static_cast<ssize_t>(datagram.size());
}

std::optional<ssize_t> LoopbackSocket::ReceiveBy(std::chrono::steady_clock::time_point deadline,
                                                 std::span<char> buffer) {
  if (!fd_ || !Readable(fd_.get(), deadline)) {
    return std::nullopt;
  }
  return ::recv(fd_.get(), buffer.data(), buffer.size(), 0);
}

}  // namespace brivane::testkit
