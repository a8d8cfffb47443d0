#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/unique_fd.h"

namespace brivane::testkit {

struct HttpReply {
  int status = 0;  // 0: no reply in time
  std::string head;
  std::string body;
};

// Sends request bytes as they are to 127.0.0.1:port and reads the reply until the server
// closes the connection.
HttpReply HttpExchange(std::uint16_t port, std::string_view request,
                       std::chrono::milliseconds timeout);
// GET target with a Host field.
HttpReply HttpGet(std::uint16_t port, std::string_view target, std::chrono::milliseconds timeout);

// A TCP connection on loopback that the test reads from only when it says so; its
// receive buffer can be made small before it connects, so a server finds out soon that
// it does not read.
class RawConnection {
 public:
  RawConnection(std::uint16_t port, int receiveBuffer = 0);
  bool Open() const { return static_cast<bool>(fd_); }
  bool Send(std::string_view data);
  // Reads what has come until text appears in all that was read; false on timeout or close.
  bool ReadUntil(std::string_view text, std::chrono::milliseconds timeout);
  // True once the server has closed or reset the connection (reading what is left).
  bool WaitForClose(std::chrono::milliseconds timeout);
  const std::string& Received() const { return received_; }

 private:
  UniqueFd fd_;
  std::string received_;
};

}  // namespace brivane::testkit
