#pragma once

#include <asio.hpp>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "gateway/core/device_registry.h"
#include "gateway/core/log.h"
#include "gateway/core/output.h"
#include "gateway/mqtt/mosquitto_session.h"
#include "gateway/mqtt/publish_schedule.h"
#include "gateway/mqtt/topics.h"

namespace brivane::gateway {

struct MqttOutputSettings {
  MqttConnection connection;
  TopicNames names;
  std::chrono::milliseconds interval{10000};
  std::chrono::milliseconds refresh{60000};
  std::string version;
  // Told when the broker connection comes (true) or goes (false).
  std::function<void(bool)> connectionChanged;
};

// Publishes the devices' states and availability, the gateway's status and the Home
// Assistant discovery configs, all retained, and sends everything again after every
// connect and after Home Assistant announces that it has (re)started.
class MqttOutput : public Output {
 public:
  MqttOutput(asio::io_context& io, MqttOutputSettings settings, const DeviceRegistry& registry,
             LogFn log);
  ~MqttOutput() override;

  bool Start(std::string& error);

  void OnState(const DeviceState& state) override;
  void OnAvailability(const DeviceState& state) override;
  void OnBridge(bool connected) override;
  void Stop() override;

 private:
  void OnConnected();
  void OnMessage(const std::string& topic, const std::string& payload);
  void PublishEverything();
  void Announce(const DeviceState& state);
  void PublishState(const DeviceState& state);
  void PublishAvailability(const DeviceState& state);
  void ArmSchedule();

  asio::io_context& io_;
  MqttOutputSettings settings_;
  const DeviceRegistry& registry_;
  LogFn log_;
  std::unique_ptr<MosquittoSession> session_;
  PublishSchedule schedule_;
  asio::steady_timer scheduleTimer_;
  asio::steady_timer birthTimer_;
  bool scheduleArmed_ = false;
  std::chrono::steady_clock::time_point scheduleFor_{};
  // Devices whose config went out on this connection, with the extra data it covers.
  std::map<std::string, int> announced_;
  std::mt19937 random_;
  bool stopped_ = false;
};

}  // namespace brivane::gateway
