// Runs the service checks, or talks to the service's ports, from inside the test system:
//   brivane-service-probe exists|running|start|stop NAME   prints true or false
//   brivane-service-probe tcp PORT [LINES]                 prints the first LINES lines (1)
//   brivane-service-probe udp PORT TEXT                    prints the reply datagram
// Exit status 0 when the check ran (or an answer came), 1 otherwise.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "common/service_control.h"
#include "common/unique_fd.h"

namespace {

constexpr int kAnswerTimeoutMs = 5000;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool WaitReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, kAnswerTimeoutMs) == 1;
}

int TcpLines(int port, int lines) {
  const brivane::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const auto address = Loopback(port);
  if (!fd ||
      ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return 1;
  }
  std::string received;
  auto complete = [&] { return std::count(received.begin(), received.end(), '\r') >= lines; };
  while (!complete() && WaitReadable(fd.get())) {
    char buffer[512];
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count <= 0) {
      break;
    }
    received.append(buffer, static_cast<std::size_t>(count));
  }
  std::cout << received;
  return complete() ? 0 : 1;
}

int UdpReply(int port, std::string_view request) {
  const brivane::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  const auto address = Loopback(port);
  if (!fd || ::sendto(fd.get(), request.data(), request.size(), 0,
                      reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
    return 1;
  }
  char buffer[2048];
  ssize_t count = -1;
  if (WaitReadable(fd.get())) {
    count = ::recv(fd.get(), buffer, sizeof buffer, 0);
  }
  if (count <= 0) {
    return 1;
  }
  std::cout << std::string_view(buffer, static_cast<std::size_t>(count));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: brivane-service-probe exists|running|start|stop NAME | tcp PORT | "
                 "udp PORT TEXT\n";
    return 2;
  }
  const std::string_view what = argv[1];
  const std::string_view name = argv[2];
  bool answer = false;
  if (what == "exists") {
    answer = brivane::WindowsServiceExists(name);
  } else if (what == "running") {
    answer = brivane::WindowsServiceRunning(name);
  } else if (what == "start") {
    answer = brivane::StartWindowsService(name);
  } else if (what == "stop") {
    answer = brivane::StopWindowsService(name);
  } else if (what == "tcp") {
    return TcpLines(std::atoi(argv[2]), argc > 3 ? std::atoi(argv[3]) : 1);
  } else if (what == "udp" && argc > 3) {
    return UdpReply(std::atoi(argv[2]), argv[3]);
  } else {
    return 2;
  }
  std::cout << (answer ? "true" : "false") << '\n';
  return 0;
}
