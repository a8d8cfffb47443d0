#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/unique_fd.h"

namespace brivane::testkit {

// A socket of this process on 127.0.0.1, closed with its owner. Every wait is bounded.
class LoopbackSocket {
 public:
  // type is SOCK_STREAM or SOCK_DGRAM.
  explicit LoopbackSocket(int type);

  bool Open() const { return static_cast<bool>(fd_); }
  // A socket that cannot connect or bind is closed, so Open() tells the outcome.
  bool Connect(std::uint16_t port);
  bool Bind(std::uint16_t port);

  // All of data on a connected socket.
  bool Send(std::string_view data);
  bool SendTo(std::uint16_t port, std::string_view datagram);
  // Waits until there is something to read (or the peer is gone), then reads once:
  // recv's count (0 at the end of a stream, negative on an error), or nothing when the
  // deadline passed first.
  std::optional<ssize_t> ReceiveBy(std::chrono::steady_clock::time_point deadline,
                                   std::span<char> buffer);

 private:
  void Close();

  UniqueFd fd_;
};

}  // namespace brivane::testkit
