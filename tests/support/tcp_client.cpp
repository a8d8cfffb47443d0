#include "tests/support/tcp_client.h"

#include <sys/socket.h>

namespace brivane::testkit {

using Clock = std::chrono::steady_clock;

TcpClient::TcpClient(std::uint16_t port) : socket_(SOCK_STREAM) {
  socket_.Connect(port);
}

bool TcpClient::Fill(Clock::time_point deadline) {
  if (closed_) {
    return false;
  }
  char buffer[8192];
  const auto count = socket_.ReceiveBy(deadline, buffer);
  if (!count) {
    return false;
  }
  if (*count <= 0) {
    closed_ = true;
    return false;
  }
  received_.append(buffer, static_cast<std::size_t>(*count));
  return true;
}

std::optional<std::string> TcpClient::Greeting(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
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

std::optional<std::string> TcpClient::Record(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
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

bool TcpClient::WaitForClose(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!closed_ && Connected()) {
    if (!Fill(deadline) && !closed_ && Clock::now() >= deadline) {
      return false;
    }
  }
  return closed_;
}

}  // namespace brivane::testkit
