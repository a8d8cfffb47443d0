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

LoopbackSocket::~LoopbackSocket() {
  Close();
}

void LoopbackSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool LoopbackSocket::Connect(std::uint16_t port) {
  const sockaddr_in target = Loopback(port);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    Close();
  }
  return Open();
}

bool LoopbackSocket::Bind(std::uint16_t port) {
  const sockaddr_in local = Loopback(port);
  if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    Close();
  }
  return Open();
}

bool LoopbackSocket::Send(std::string_view data) {
  return fd_ >= 0 &&
         ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

bool LoopbackSocket::SendTo(std::uint16_t port, std::string_view datagram) {
  const sockaddr_in target = Loopback(port);
  return fd_ >= 0 && ::sendto(fd_, datagram.data(), datagram.size(), 0,
                              reinterpret_cast<const sockaddr*>(&target),
                              sizeof target) == static_cast<ssize_t>(datagram.size());
}

std::optional<ssize_t> LoopbackSocket::ReceiveBy(std::chrono::steady_clock::time_point deadline,
                                                 std::span<char> buffer) {
  if (fd_ < 0 || !Readable(fd_, deadline)) {
    return std::nullopt;
  }
  return ::recv(fd_, buffer.data(), buffer.size(), 0);
}

}  // namespace brivane::testkit
