#include "gateway/mqtt/mqtt_output.h"

#include <utility>

#include "gateway/mqtt/discovery.h"

namespace brivane::gateway {
namespace {

// The state without its reading time: what decides whether anything changed.
std::string Values(const nlohmann::json& state) {
  nlohmann::json values = state;
  values.erase("time");
  return values.dump();
}

}  // namespace

MqttOutput::MqttOutput(asio::io_context& io, MqttOutputSettings settings,
                       const DeviceRegistry& registry, LogFn log)
    : io_(io),
      settings_(std::move(settings)),
      registry_(registry),
      log_(std::move(log)),
      schedule_(settings_.interval, settings_.refresh),
      scheduleTimer_(io),
      birthTimer_(io),
      random_(std::random_device{}()) {}

MqttOutput::~MqttOutput() = default;

bool MqttOutput::Start(std::string& error) {
  settings_.connection.willTopic = settings_.names.Status();
  settings_.connection.willPayload = "offline";
  session_ = std::make_unique<MosquittoSession>(
      io_, settings_.connection,
      MosquittoSession::Handlers{
          [this] {
            if (settings_.connectionChanged) {
              settings_.connectionChanged(true);
            }
            OnConnected();
          },
          [this] {
            announced_.clear();
            if (settings_.connectionChanged) {
              settings_.connectionChanged(false);
            }
          },
          [this](const std::string& topic, const std::string& payload) {
            OnMessage(topic, payload);
          },
      },
      log_);
  return session_->Start(error);
}

void MqttOutput::OnConnected() {
  if (!settings_.names.discoveryPrefix.empty()) {
    session_->Subscribe(settings_.names.HomeAssistantStatus());
  }
  PublishEverything();
}

void MqttOutput::PublishEverything() {
  announced_.clear();
  session_->Publish(settings_.names.Status(), "online", true);
  if (!settings_.names.discoveryPrefix.empty()) {
    session_->Publish(settings_.names.GatewayConfig(),
                      GatewayDiscovery(settings_.names, settings_.version).dump(), true);
  }
  const auto now = std::chrono::steady_clock::now();
  for (const auto& [name, state] : registry_.States()) {
    Announce(state);
    PublishAvailability(state);
    PublishState(state);
    schedule_.Published(name, now);
  }
  ArmSchedule();
}

void MqttOutput::OnMessage(const std::string& topic, const std::string& payload) {
  if (topic != settings_.names.HomeAssistantStatus() || payload != "online") {
    return;
  }
  // Home Assistant has (re)started: everything again, after a pause that spreads the
  // load of many publishers answering at once.
  const auto delay =
      std::chrono::milliseconds(std::uniform_int_distribution<int>(1000, 5000)(random_));
  birthTimer_.expires_after(delay);
  birthTimer_.async_wait([this](const asio::error_code& error) {
    if (!error && !stopped_ && session_->Connected()) {
      PublishEverything();
    }
  });
}

void MqttOutput::Announce(const DeviceState& state) {
  if (!session_->Connected() || settings_.names.discoveryPrefix.empty()) {
    return;
  }
  const int extraData = ExtraDataSeen(state.json);
  const auto it = announced_.find(state.device);
  if (it != announced_.end() && it->second == extraData) {
    return;
  }
  announced_[state.device] = extraData;
  const DeviceIdentity identity{state.device, state.type, state.port};
  session_->Publish(
      settings_.names.DeviceConfig(state.device),
      DeviceDiscovery(settings_.names, identity, settings_.version, state.json).dump(), true);
}

void MqttOutput::PublishState(const DeviceState& state) {
  session_->Publish(settings_.names.State(state.device), state.json.dump(), true);
}

void MqttOutput::PublishAvailability(const DeviceState& state) {
  session_->Publish(settings_.names.Availability(state.device), state.online ? "online" : "offline",
                    true);
}

void MqttOutput::OnState(const DeviceState& state) {
  if (stopped_) {
    return;
  }
  Announce(state);
  if (schedule_.OnState(state.device, Values(state.json), std::chrono::steady_clock::now())) {
    PublishState(state);
  }
  ArmSchedule();
}

void MqttOutput::OnAvailability(const DeviceState& state) {
  if (stopped_) {
    return;
  }
  Announce(state);
  PublishAvailability(state);
  if (!state.online) {
    schedule_.SetQuiet(state.device);
  }
}

void MqttOutput::OnBridge(bool) {}

void MqttOutput::Stop() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  scheduleTimer_.cancel();
  birthTimer_.cancel();
  if (session_) {
    session_->Publish(settings_.names.Status(), "offline", true);
    session_->Stop();
  }
}

void MqttOutput::ArmSchedule() {
  const auto next = schedule_.NextDue();
  if (!next || stopped_ || (scheduleArmed_ && scheduleFor_ <= *next)) {
    return;
  }
  scheduleArmed_ = true;
  scheduleFor_ = *next;
  scheduleTimer_.expires_at(*next);
  scheduleTimer_.async_wait([this](const asio::error_code& error) {
    if (error) {
      return;
    }
    scheduleArmed_ = false;
    for (const std::string& device : schedule_.Due(std::chrono::steady_clock::now())) {
      if (const DeviceState* state = registry_.Find(device)) {
        PublishState(*state);
      }
    }
    ArmSchedule();
  });
}

}  // namespace brivane::gateway
