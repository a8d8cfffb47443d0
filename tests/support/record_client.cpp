#include "tests/support/record_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/udp_wire.h"

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

RecordClient::RecordClient(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in target = Loopback(port);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

RecordClient::~RecordClient() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool RecordClient::Send(std::string_view data) {
  return fd_ >= 0 &&
         ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

bool RecordClient::Fill(std::chrono::steady_clock::time_point deadline) {
  if (fd_ < 0 || closed_ || !Readable(fd_, deadline)) {
    return false;
  }
  char buffer[8192];
  const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
  if (count <= 0) {
    closed_ = true;
    return false;
  }
  received_.append(buffer, static_cast<std::size_t>(count));
  return true;
}

std::optional<std::string> RecordClient::Greeting(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto end = received_.find("\r\n");
    if (end != std::string::npos) {
      std::string line = received_.substr(0, end);
      if (line.find_first_of("\r\n") != std::string::npos) {
        framed_ = false;
        return std::nullopt;
      }
      received_.erase(0, end + 2);
      return line;
    }
    if (!Fill(deadline)) {
      return std::nullopt;
    }
  }
}

std::optional<std::string> RecordClient::Record(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (!framed_) {
      return std::nullopt;
    }
    if (!received_.empty() && received_.front() != '\n') {
      framed_ = false;
      return std::nullopt;
    }
    const auto end = received_.find('\r');
    if (end != std::string::npos) {
      std::string record = received_.substr(1, end - 1);
      received_.erase(0, end + 1);
      return record;
    }
    if (!Fill(deadline)) {
      return std::nullopt;
    }
  }
}

bool RecordClient::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closed_ && fd_ >= 0) {
    if (!Fill(deadline) && !closed_ && std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
  }
  return closed_;
}

QueryClient::QueryClient() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in local = Loopback(0);
  if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

QueryClient::~QueryClient() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool QueryClient::Send(std::uint16_t port, std::string_view datagram) {
  const sockaddr_in target = Loopback(port);
  return fd_ >= 0 && ::sendto(fd_, datagram.data(), datagram.size(), 0,
                              reinterpret_cast<const sockaddr*>(&target),
                              sizeof target) == static_cast<ssize_t>(datagram.size());
}

std::optional<std::string> QueryClient::Receive(std::chrono::milliseconds timeout) {
  if (fd_ < 0 || !Readable(fd_, std::chrono::steady_clock::now() + timeout)) {
    return std::nullopt;
  }
  char buffer[65536];
  const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
  if (count < 0) {
    return std::nullopt;
  }
  return std::string(buffer, static_cast<std::size_t>(count));
}

std::optional<std::vector<std::string>> QueryStatus(std::uint16_t udpPort,
                                                    std::chrono::milliseconds timeout) {
  QueryClient console;
  if (!console.Send(udpPort, kStatusRequest)) {
    return std::nullopt;
  }
  const auto reply = console.Receive(timeout);
  if (!reply) {
    return std::nullopt;
  }
  return ParseStatusReply(*reply);
}

}  // namespace brivane::testkit
