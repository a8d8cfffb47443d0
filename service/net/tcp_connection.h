#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "service/net/lifetime_guard.h"

namespace brivane {

// One client connection: reads and discards what the client sends, and writes what is
// queued for it in order without ever blocking the loop. Everything queued within one
// handler goes out in one write.
class TcpConnection {
 public:
  // Unsent data beyond this means the client is not reading.
  static constexpr std::size_t kSendQueueLimit = 64 * 1024;

  enum class Ending {
    PeerClosed,        // the client closed its side
    ClientNotReading,  // the send queue passed its limit
  };
  using EndingFn = std::function<void(TcpConnection&, Ending)>;

  TcpConnection(asio::ip::tcp::socket socket, EndingFn onEnding);
  ~TcpConnection();
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  void Start();
  // Queues bytes behind everything queued before; closes the connection when the
  // unsent data passes kSendQueueLimit.
  void Send(std::string_view bytes);
  // Open and not lost: what the socket layer calls connected.
  bool Connected() const { return socket_.is_open(); }
  // Closes the socket and lets go of every unsent byte; never reports an ending.
  void Close();
  // The peer's address as it was at accept, dotted decimal.
  const std::string& PeerAddress() const { return peerAddress_; }
  // Writes handed to the socket so far: one per burst of sends while the client keeps up.
  std::uint64_t WritesStarted() const { return writesStarted_; }

 private:
  void ReadSome();
  void OnRead(const asio::error_code& error, std::size_t length);
  void ScheduleWrite();
  void WriteQueued();
  void OnWritten(const asio::error_code& error);

  using ReadBuffer = std::array<char, 4096>;

  asio::ip::tcp::socket socket_;
  EndingFn onEnding_;
  std::string peerAddress_;
  // Shared with the pending read's handler, which keeps it while the read lasts.
  std::shared_ptr<ReadBuffer> readBuffer_ = std::make_shared<ReadBuffer>();
  std::string queued_;  // not yet handed to the socket
  // Handed to the socket, not yet confirmed; shared with the write's handler.
  std::shared_ptr<const std::string> writing_;
  bool writeScheduled_ = false;
  std::uint64_t writesStarted_ = 0;
  LifetimeGuard guard_;
};

}  // namespace brivane
