#include "tests/support/loopback_clients.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brivane::testkit {

namespace {

sockaddr_in Address(const std::string& address, std::uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &result.sin_addr);
  return result;
}

// POLLIN within timeout.
bool Readable(int fd, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
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

TcpClient::TcpClient(std::uint16_t port, const std::string& address) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    return;
  }
  const sockaddr_in target = Address(address, port);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

TcpClient::~TcpClient() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool TcpClient::Send(std::string_view data) {
  return fd_ >= 0 &&
         ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

bool TcpClient::Fill(std::chrono::milliseconds timeout) {
  if (fd_ < 0 || closed_ || !Readable(fd_, timeout)) {
    return false;
  }
  char buffer[4096];
  const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
  if (count <= 0) {
    closed_ = true;
    return false;
  }
  received_.append(buffer, static_cast<std::size_t>(count));
  return true;
}

std::optional<std::string> TcpClient::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto end = received_.find('\n');
    if (end != std::string::npos) {
      std::string line = received_.substr(0, end);
      received_.erase(0, end + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Fill(left)) {
      return std::nullopt;
    }
  }
}

bool TcpClient::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closed_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || fd_ < 0) {
      return false;
    }
    Fill(left);
  }
  return true;
}

UdpClient::UdpClient() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in local = Address("127.0.0.1", 0);
  if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

UdpClient::~UdpClient() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool UdpClient::SendTo(std::uint16_t port, std::string_view datagram, const std::string& address) {
  const sockaddr_in target = Address(address, port);
  return fd_ >= 0 && ::sendto(fd_, datagram.data(), datagram.size(), 0,
                              reinterpret_cast<const sockaddr*>(&target),
                              sizeof target) == static_cast<ssize_t>(datagram.size());
}

std::optional<std::string> UdpClient::Receive(std::chrono::milliseconds timeout) {
  if (fd_ < 0 || !Readable(fd_, timeout)) {
    return std::nullopt;
  }
  char buffer[65536];
  const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
  if (count < 0) {
    return std::nullopt;
  }
  return std::string(buffer, static_cast<std::size_t>(count));
}

}  // namespace brivane::testkit
