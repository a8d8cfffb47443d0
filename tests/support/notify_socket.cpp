#include "tests/support/notify_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace brivane::testkit {

NotifySocket::NotifySocket() : path_(folder_ / "notify") {
  fd_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  if (!fd_ || ::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const std::string error = std::strerror(errno);
    throw std::runtime_error("notify socket: " + error);
  }
}

bool NotifySocket::Seen(std::string_view assignment) const {
  for (const std::string& message : messages_) {
    std::istringstream lines(message);
    std::string line;
    while (std::getline(lines, line)) {
      if (line == assignment) {
        return true;
      }
    }
  }
  return false;
}

bool NotifySocket::WaitFor(std::string_view assignment, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    char buffer[4096];
    ssize_t count;
    while ((count = ::recv(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      messages_.emplace_back(buffer, static_cast<std::size_t>(count));
    }
    if (Seen(assignment)) {
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    pollfd waiting{fd_.get(), POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return false;
    }
  }
}

}  // namespace brivane::testkit
