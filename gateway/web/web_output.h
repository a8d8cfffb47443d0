#pragma once

#include <asio.hpp>
#include <filesystem>
#include <string>

#include "gateway/core/gateway_core.h"
#include "gateway/core/history_reader.h"
#include "gateway/core/output.h"
#include "gateway/web/web_server.h"

namespace brivane::gateway {

struct WebOutputSettings {
  std::string address = "0.0.0.0";
  std::uint16_t port = 8480;
  std::filesystem::path files;
  std::string site;
  std::string version;
  WebServerLimits limits;
};

// The read-only dashboard: its files, the devices' states, their history and a live
// stream of every state and connection change.
class WebOutput : public Output {
 public:
  // history may be null (no database could be had).
  WebOutput(asio::io_context& io, WebOutputSettings settings, const GatewayCore& core,
            HistoryReader* history, LogFn log);

  bool Start(std::string& error);
  std::uint16_t Port() const { return server_.Port(); }

  void OnState(const DeviceState& state) override;
  void OnAvailability(const DeviceState& state) override;
  void OnBridge(bool connected) override;
  void OnBroker(BrokerState state) override;
  void Stop() override;

 private:
  HttpResponse Handle(const HttpRequest& request, const Target& target);
  HttpResponse History(const Target& target);
  HttpResponse File(const std::string& path);
  HttpResponse Events();
  void SendDevice(const DeviceState& state);
  void SendStatus();

  WebOutputSettings settings_;
  const GatewayCore& core_;
  HistoryReader* history_;
  LogFn log_;
  WebServer server_;
};

}  // namespace brivane::gateway
