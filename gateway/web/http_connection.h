#pragma once

#include <array>
#include <asio.hpp>
#include <deque>
#include <memory>
#include <string>

#include "gateway/web/web_server.h"

namespace brivane::gateway {

// One client of the web server: its request head read within a time limit, then either
// one answer and the close, or an event stream whose unsent backlog is bounded.
class HttpConnection : public std::enable_shared_from_this<HttpConnection> {
 public:
  HttpConnection(asio::ip::tcp::socket socket, WebServer& server);

  void Start();
  // An event stream's next text; a stream that does not read is closed.
  void Send(const std::string& text);
  void Close();
  const std::string& Peer() const { return peer_; }

 private:
  void Read();
  void OnHead(const RequestParse& parse);
  void Answer(const HttpResponse& response, bool withBody);
  void Queue(std::string text);
  void WriteNext();
  void WatchStream();

  asio::ip::tcp::socket socket_;
  WebServer& server_;
  asio::steady_timer timer_;
  std::string peer_;
  std::string head_;
  std::array<char, 2048> chunk_{};
  std::deque<std::string> queue_;
  std::size_t queued_ = 0;
  bool writing_ = false;
  bool stream_ = false;
  bool closed_ = false;
};

}  // namespace brivane::gateway
