#include "service/net/tcp_front.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include "common/product.h"
#include "common/version.h"

namespace brivane {
namespace {

// A full descriptor table clears only with time; retrying at once would spin.
constexpr auto kAcceptRetryDelay = std::chrono::milliseconds(100);

bool IsResourceShortage(const asio::error_code& error) {
  const int value = error.value();
  return error.category() == asio::system_category() &&
         (value == EMFILE || value == ENFILE || value == ENOBUFS || value == ENOMEM);
}

}  // namespace

std::string GreetingLine() {
  std::string line = "Brivane Pro v";
  line += kVersionText;
  line += " - ";
  line += kSupportAddress;
  line += "\r\n";
  return line;
}

TcpFront::TcpFront(asio::io_context& io, EventLogFn log)
    : log_(std::move(log)), listener_(io), acceptRetry_(io) {}

TcpFront::~TcpFront() {
  asio::error_code ignored;
  listener_.close(ignored);
  slots_.ReleaseAll();
}

void TcpFront::CreateConnectionSockets() {
  slots_.ReleaseAll();
}

std::optional<SocketError> TcpFront::Bind(const std::string& address, std::uint16_t port) {
  asio::error_code error;
  const asio::ip::address_v4 local = BindAddress(address, error);
  if (error) {
    return MakeSocketError(error);
  }
  asio::error_code ignored;
  listener_.close(ignored);
  listener_.open(asio::ip::tcp::v4(), error);
  if (!error) {
    // A restart must not fail on connections of the previous run in TIME_WAIT.
    listener_.set_option(asio::socket_base::reuse_address(true), error);
  }
  if (!error) {
    listener_.bind(asio::ip::tcp::endpoint(local, port), error);
  }
  if (error) {
    listener_.close(ignored);
    return MakeSocketError(error);
  }
  return std::nullopt;
}

std::optional<SocketError> TcpFront::Listen() {
  asio::error_code error;
  listener_.listen(asio::socket_base::max_listen_connections, error);
  if (error) {
    return MakeSocketError(error);
  }
  AcceptNext();
  return std::nullopt;
}

void TcpFront::CloseListener() {
  asio::error_code ignored;
  acceptRetry_.cancel();
  listener_.close(ignored);
}

bool TcpFront::SlotInUse(int slot) const {
  return slots_.InUse(slot);
}

void TcpFront::CloseConnection(int slot) {
  if (TcpConnection* connection = slots_.ConnectionAt(slot)) {
    connection->Close();
  }
}

void TcpFront::DestroyConnectionSockets() {
  CreateConnectionSockets();  // the same end state: every socket closed, every slot free
}

void TcpFront::UpdateTCP(std::string_view message) {
  std::string framed;
  framed.reserve(message.size() + 2);
  framed += '\n';
  framed += message;
  framed += '\r';

  connectionCount_ = 0;
  for (int slot = SlotTable::kFirstSlot; slot <= SlotTable::kLastSlot; ++slot) {
    if (!slots_.InUse(slot)) {
      continue;
    }
    TcpConnection* connection = slots_.ConnectionAt(slot);
    if (connection && connection->Connected()) {
      ++connectionCount_;
      connection->Send(framed);
    } else {
      slots_.Release(slot);
    }
  }
}

std::uint16_t TcpFront::LocalPort() const {
  asio::error_code error;
  const auto local = listener_.local_endpoint(error);
  return error ? 0 : local.port();
}

void TcpFront::AcceptNext() {
  if (!listener_.is_open()) {
    return;
  }
  listener_.async_accept(
      guard_.Guard([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        OnAccepted(error, std::move(socket));
      }));
}

void TcpFront::OnAccepted(const asio::error_code& error, asio::ip::tcp::socket socket) {
  if (error == asio::error::operation_aborted || !listener_.is_open()) {
    return;  // the listener was closed
  }
  if (error) {
    // A withdrawn request or a shortage never stops the listener.
    if (IsResourceShortage(error)) {
      acceptRetry_.expires_after(kAcceptRetryDelay);
      acceptRetry_.async_wait(guard_.Guard([this](const asio::error_code& waitError) {
        if (!waitError) {
          AcceptNext();
        }
      }));
    } else {
      AcceptNext();
    }
    return;
  }

  const std::optional<int> slot = slots_.LowestFree();
  if (!slot) {
    asio::error_code peerError;
    const auto peer = socket.remote_endpoint(peerError);
    asio::error_code ignored;
    socket.close(ignored);
    if (log_) {
      const std::string address = peerError ? std::string() : peer.address().to_string();
      log_(kEventTypeWarning,
           "Could not accept TCP connection from " + address + ". Too many connections!");
    }
    AcceptNext();
    return;
  }

  auto connection = std::make_unique<TcpConnection>(
      std::move(socket),
      guard_.Guard([this, slot = *slot](TcpConnection& ended, TcpConnection::Ending ending) {
        OnConnectionEnding(slot, ended, ending);
      }));
  TcpConnection& added = *connection;
  slots_.Reserve(*slot, std::move(connection));
  added.Send(GreetingLine());
  added.Start();
  AcceptNext();
}

void TcpFront::OnConnectionEnding(int slot, const TcpConnection& ended,
                                  TcpConnection::Ending ending) {
  switch (ending) {
    case TcpConnection::Ending::PeerClosed:
      // The slot can be given to the next connection at once.
      slots_.Release(slot);
      break;
    case TcpConnection::Ending::ClientNotReading:
      // Stale like any lost connection: the next broadcast frees the slot.
      if (log_) {
        log_(kEventTypeWarning,
             "Closed TCP connection to " + ended.PeerAddress() + ". Client is not reading!");
      }
      break;
  }
}

}  // namespace brivane
