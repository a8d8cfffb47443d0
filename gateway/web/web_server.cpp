#include "gateway/web/web_server.h"

#include <vector>

#include "gateway/web/http_connection.h"

namespace brivane::gateway {

WebServer::WebServer(asio::io_context& io, RequestHandler handler, LogFn log,
                     WebServerLimits limits)
    : io_(io),
      handler_(std::move(handler)),
      log_(std::move(log)),
      limits_(limits),
      acceptor_(io),
      keepalive_(io),
      retry_(io) {}

WebServer::~WebServer() {
  Stop();
}

bool WebServer::Start(const std::string& address, std::uint16_t port, std::string& error) {
  asio::error_code code;
  const auto ip = asio::ip::make_address(address, code);
  if (code) {
    error = "web: " + address + " is not an IP address";
    return false;
  }
  const asio::ip::tcp::endpoint endpoint(ip, port);
  acceptor_.open(endpoint.protocol(), code);
  if (!code) {
    acceptor_.set_option(asio::socket_base::reuse_address(true), code);
    acceptor_.bind(endpoint, code);
  }
  if (!code) {
    acceptor_.listen(asio::socket_base::max_listen_connections, code);
  }
  if (code) {
    error = "web: cannot listen on " + (ip.is_v6() ? "[" + address + "]" : address) + ":" +
            std::to_string(port) + ": " + code.message();
    asio::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  Accept();
  ArmKeepalive();
  return true;
}

std::uint16_t WebServer::Port() const {
  asio::error_code error;
  const auto endpoint = acceptor_.local_endpoint(error);
  return error ? 0 : endpoint.port();
}

void WebServer::Stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  asio::error_code ignored;
  acceptor_.close(ignored);
  keepalive_.cancel();
  retry_.cancel();
  std::vector<std::shared_ptr<HttpConnection>> all(connections_.begin(), connections_.end());
  all.insert(all.end(), streams_.begin(), streams_.end());
  for (const auto& connection : all) {
    connection->Close();
  }
}

void WebServer::Accept() {
  acceptor_.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
    if (stopped_) {
      return;
    }
    if (!error) {
      if (connections_.size() >= limits_.connections) {
        asio::error_code ignored;
        socket.close(ignored);  // a crowd of clients must not exhaust the gateway
      } else {
        auto connection = std::make_shared<HttpConnection>(std::move(socket), *this);
        connections_.insert(connection);
        connection->Start();
      }
    } else {
      // Out of descriptors, say: try again shortly rather than spin.
      retry_.expires_after(std::chrono::milliseconds(100));
      retry_.async_wait([this](const asio::error_code& waited) {
        if (!waited && !stopped_) {
          Accept();
        }
      });
      return;
    }
    Accept();
  });
}

void WebServer::ArmKeepalive() {
  keepalive_.expires_after(limits_.keepalive);
  keepalive_.async_wait([this](const asio::error_code& error) {
    if (!error && !stopped_) {
      Broadcast(": keepalive\n\n");
      ArmKeepalive();
    }
  });
}

void WebServer::Broadcast(const std::string& text) {
  const std::vector<std::shared_ptr<HttpConnection>> streams(streams_.begin(), streams_.end());
  for (const auto& stream : streams) {
    stream->Send(text);
  }
}

bool WebServer::AdmitStream(const std::shared_ptr<HttpConnection>& connection) {
  if (streams_.size() >= limits_.streams) {
    return false;
  }
  connections_.erase(connection);
  streams_.insert(connection);
  return true;
}

void WebServer::Forget(HttpConnection* connection) {
  auto same = [connection](const std::shared_ptr<HttpConnection>& held) {
    return held.get() == connection;
  };
  std::erase_if(connections_, same);
  std::erase_if(streams_, same);
}

}  // namespace brivane::gateway
