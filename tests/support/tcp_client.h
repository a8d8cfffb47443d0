#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/loopback_socket.h"

namespace brivane::testkit {

// A TCP client of the bridge on loopback that checks the stream byte for byte: one
// greeting line ending in CR LF, then records, each LF, record text, CR. Every wait is
// bounded.
class TcpClient {
 public:
  explicit TcpClient(std::uint16_t port);

  bool Connected() const { return socket_.Open(); }
  bool Send(std::string_view data) { return socket_.Send(data); }

  // The greeting without its CR LF; nothing when it did not come in time or was not
  // the first thing on the stream.
  std::optional<std::string> Greeting(std::chrono::milliseconds timeout);
  // The next record's text without LF and CR; nothing when none came in time. Bytes
  // outside the LF ... CR framing end the stream's good standing (Framed()).
  std::optional<std::string> Record(std::chrono::milliseconds timeout);
  bool Framed() const { return framed_; }
  // What is left unread (for failure messages).
  const std::string& Unread() const { return received_; }

  // True when the service closed the connection (or reset it) within timeout; what came
  // before the close stays readable.
  bool WaitForClose(std::chrono::milliseconds timeout);

 private:
  // Reads what has come by deadline; false on a close or when nothing came.
  bool Fill(std::chrono::steady_clock::time_point deadline);

  LoopbackSocket socket_;
  bool closed_ = false;
  bool framed_ = true;
  std::string received_;
};

}  // namespace brivane::testkit
