#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brivane::testkit {

// A TCP client of a service on this machine. Every wait is bounded.
class TcpClient {
 public:
  TcpClient(std::uint16_t port, const std::string& address = "127.0.0.1");
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  bool Send(std::string_view data);
  // The next line without its LF (a CR before it is kept), or nothing when none came
  // in time or the connection closed first.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // True when the service closed the connection within timeout; data before the close
  // is read and kept for ReadLine.
  bool WaitForClose(std::chrono::milliseconds timeout);

 private:
  // Reads what is there within timeout; false on close or time-out.
  bool Fill(std::chrono::milliseconds timeout);

  int fd_ = -1;
  bool closed_ = false;
  std::string received_;
};

// A UDP socket bound to a port of the kernel's choice on loopback, as a client sends from.
class UdpClient {
 public:
  UdpClient();
  ~UdpClient();
  UdpClient(const UdpClient&) = delete;
  UdpClient& operator=(const UdpClient&) = delete;

  bool SendTo(std::uint16_t port, std::string_view datagram,
              const std::string& address = "127.0.0.1");
  // The next datagram, or nothing within timeout.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

}  // namespace brivane::testkit
