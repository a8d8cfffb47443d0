#pragma once

#include <asio.hpp>
#include <chrono>
#include <string>
#include <vector>

#include "gateway/core/device_registry.h"
#include "gateway/core/log.h"
#include "gateway/core/output.h"
#include "gateway/core/reject_tally.h"

namespace brivane::gateway {

// Decodes each record the bridge forwards, keeps every device's state and availability,
// and hands each change to every output.
class GatewayCore {
 public:
  GatewayCore(asio::io_context& io, std::chrono::milliseconds silence, LogFn log);
  GatewayCore(const GatewayCore&) = delete;
  GatewayCore& operator=(const GatewayCore&) = delete;

  void AddOutput(Output& output) { outputs_.push_back(&output); }
  const DeviceRegistry& Registry() const { return registry_; }

  void OnRecord(const std::string& record);
  void OnBridgeConnected();
  void OnBridgeLost();
  // An output's broker connection changed; every output hears of it.
  void OnBroker(BrokerState state);
  void Stop();

  bool BridgeConnected() const { return bridgeConnected_; }
  BrokerState Broker() const { return broker_; }

  unsigned long long Rejected() const { return rejects_.Total(); }

 private:
  void ArmTimer();
  void OnTimer();

  asio::steady_timer timer_;
  LogFn log_;
  DeviceRegistry registry_;
  RejectTally rejects_;
  std::vector<Output*> outputs_;
  std::chrono::steady_clock::time_point armedFor_{};
  bool armed_ = false;
  bool stopped_ = false;
  bool bridgeConnected_ = false;
  BrokerState broker_ = BrokerState::kOff;
};

}  // namespace brivane::gateway
