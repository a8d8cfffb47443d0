#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <asio.hpp>

#include "service/base/service_types.h"
#include "service/net/lifetime_guard.h"
#include "service/net/slot_table.h"
#include "service/net/socket_error.h"
#include "service/net/tcp_connection.h"

namespace brivane {

// oTCP: the listener (element 0) and the 100 connection slots. Every client gets the
// greeting line, then every broadcast record framed LF record CR.
class TcpFront {
 public:
  TcpFront(asio::io_context& io, EventLogFn log);
  ~TcpFront();
  TcpFront(const TcpFront&) = delete;
  TcpFront& operator=(const TcpFront&) = delete;

  void CreateConnectionSockets();  // all 100 slots created and free
  std::optional<SocketError> Bind(const std::string& address, std::uint16_t port);  // "" = all
  std::optional<SocketError> Listen();  // starts taking connection requests
  void CloseListener();
  bool SlotInUse(int slot) const;  // 1..100
  void CloseConnection(int slot);
  void DestroyConnectionSockets();
  void UpdateTCP(std::string_view message);  // LF message CR to every connected client
  std::int32_t TCPConnectionCount() const { return connectionCount_; }
  std::uint16_t LocalPort() const;

 private:
  void AcceptNext();
  void OnAccepted(const asio::error_code& error, asio::ip::tcp::socket socket);
  void OnConnectionEnding(int slot, const TcpConnection& ended, TcpConnection::Ending ending);

  EventLogFn log_;
  asio::ip::tcp::acceptor listener_;
  asio::steady_timer acceptRetry_;
  SlotTable slots_;
  std::int32_t connectionCount_ = 0;
  LifetimeGuard guard_;
};

// "Brivane Pro v1.0.0 - <support address>" CR LF
std::string GreetingLine();

}  // namespace brivane
