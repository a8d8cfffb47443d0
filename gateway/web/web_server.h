#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "gateway/core/log.h"
#include "gateway/web/http_request.h"

namespace brivane::gateway {

struct HttpResponse {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  bool eventStream = false;  // the body holds the stream's first events
  bool cache = false;        // static files may be cached briefly; API answers never
};

using RequestHandler = std::function<HttpResponse(const HttpRequest&, const Target&)>;

struct WebServerLimits {
  std::size_t streams = 100;             // event streams at once; one more gets 503
  std::size_t connections = 64;          // other connections at once
  std::size_t pending = 64 * 1024;       // unsent bytes of a stream before it is closed
  int streamSendBuffer = 32 * 1024;      // the kernel's share of a stream's backlog
  std::chrono::seconds headTimeout{10};  // to send a whole request head
  std::chrono::seconds writeTimeout{30};
  std::chrono::seconds keepalive{15};
  RequestLimits request;
};

class HttpConnection;

// A small HTTP/1.1 server on the gateway's loop: one request per connection (the answer
// closes it), GET and HEAD only, and Server-Sent Event streams that stay open.
class WebServer {
 public:
  WebServer(asio::io_context& io, RequestHandler handler, LogFn log, WebServerLimits limits = {});
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  bool Start(const std::string& address, std::uint16_t port, std::string& error);
  void Stop();
  // Text sent to every event stream as it is.
  void Broadcast(const std::string& text);
  std::size_t Streams() const { return streams_.size(); }
  std::uint16_t Port() const;

 private:
  friend class HttpConnection;
  void Accept();
  void ArmKeepalive();
  void Forget(HttpConnection* connection);
  bool AdmitStream(const std::shared_ptr<HttpConnection>& connection);

  asio::io_context& io_;
  RequestHandler handler_;
  LogFn log_;
  WebServerLimits limits_;
  asio::ip::tcp::acceptor acceptor_;
  asio::steady_timer keepalive_;
  asio::steady_timer retry_;
  std::set<std::shared_ptr<HttpConnection>> connections_;  // answering a request
  std::set<std::shared_ptr<HttpConnection>> streams_;
  bool stopped_ = false;
};

}  // namespace brivane::gateway
