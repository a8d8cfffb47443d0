#pragma once

#include <array>
#include <asio.hpp>
#include <functional>
#include <memory>
#include <string>

#include "gateway/core/backoff.h"
#include "gateway/core/log.h"
#include "gateway/settings/host_port.h"
#include "mate/record_framer.h"

namespace brivane::gateway {

// The gateway's one TCP connection to BrivaneSvc: past the greeting, every record it
// forwards is handed on as it arrives. Everything waiting is read at once, so the
// gateway is never the client that holds the bridge back. A lost or refused
// connection is tried again with a growing wait, logged once per change.
class BridgeClient {
 public:
  struct Handlers {
    std::function<void()> connected;
    std::function<void()> lost;
    std::function<void(std::string record)> record;
  };

  BridgeClient(asio::io_context& io, HostPort bridge, Handlers handlers, LogFn log);
  ~BridgeClient();
  BridgeClient(const BridgeClient&) = delete;
  BridgeClient& operator=(const BridgeClient&) = delete;

  void Start();
  void Stop();

 private:
  enum class Link { kStarting, kUp, kDown };

  void Resolve();
  void Connect(asio::ip::tcp::resolver::results_type endpoints);
  void Read();
  void OnBytes(std::string_view bytes);
  void Fail(const std::string& reason);

  asio::io_context& io_;
  HostPort bridge_;
  Handlers handlers_;
  LogFn log_;
  asio::ip::tcp::resolver resolver_;
  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;  // the connect deadline, then the wait before trying again
  Backoff backoff_;
  Link link_ = Link::kStarting;
  bool greetingSkipped_ = false;
  bool stopped_ = false;
  unsigned generation_ = 0;  // handlers of an older attempt see a newer number and go
  std::unique_ptr<mate::RecordFramer> framer_;
  std::unique_ptr<std::array<char, 65536>> buffer_;
};

}  // namespace brivane::gateway
