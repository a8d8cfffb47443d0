#include "tests/support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace brivane::testkit {
namespace {

using Clock = std::chrono::steady_clock;

// One read within the deadline: >0 bytes, 0 closed, <0 error, nothing on timeout.
std::optional<ssize_t> ReadSome(int fd, std::string& into, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) {
    return std::nullopt;
  }
  pollfd entry{fd, POLLIN, 0};
  const int ready = poll(&entry, 1, static_cast<int>(left.count()));
  if (ready == 0) {
    return std::nullopt;
  }
  if (ready < 0) {
    return errno == EINTR ? std::optional<ssize_t>(1) : std::optional<ssize_t>(-1);
  }
  char buffer[16384];
  const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
  if (got > 0) {
    into.append(buffer, static_cast<std::size_t>(got));
  }
  return got;
}

}  // namespace

RawConnection::RawConnection(std::uint16_t port, int receiveBuffer)
    : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (!fd_) {
    return;
  }
  if (receiveBuffer > 0) {
    setsockopt(fd_.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    fd_.reset();
  }
}

bool RawConnection::Send(std::string_view data) {
  while (!data.empty() && fd_) {
    const ssize_t sent = send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL);
    if (sent <= 0) {
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
  return static_cast<bool>(fd_);
}

bool RawConnection::ReadUntil(std::string_view text, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (received_.find(text) == std::string::npos) {
    const auto got = ReadSome(fd_.get(), received_, deadline);
    if (!got || *got <= 0) {
      return received_.find(text) != std::string::npos;
    }
  }
  return true;
}

bool RawConnection::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    const auto got = ReadSome(fd_.get(), received_, deadline);
    if (!got) {
      return false;
    }
    if (*got <= 0) {
      return true;
    }
    // A reader that wants to see the close must keep the buffer bounded.
    if (received_.size() > (1u << 20)) {
      received_.erase(0, received_.size() - 4096);
    }
  }
}

HttpReply HttpExchange(std::uint16_t port, std::string_view request,
                       std::chrono::milliseconds timeout) {
  HttpReply reply;
  RawConnection connection(port);
  if (!connection.Open() || !connection.Send(request) || !connection.WaitForClose(timeout)) {
    return reply;
  }
  const std::string& all = connection.Received();
  const auto end = all.find("\r\n\r\n");
  if (end == std::string::npos || !all.starts_with("HTTP/1.1 ")) {
    return reply;
  }
  reply.head = all.substr(0, end);
  reply.body = all.substr(end + 4);
  reply.status = std::atoi(all.c_str() + 9);
  return reply;
}

HttpReply HttpGet(std::uint16_t port, std::string_view target, std::chrono::milliseconds timeout) {
  return HttpExchange(port, "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                      timeout);
}

}  // namespace brivane::testkit
