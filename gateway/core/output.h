#pragma once

#include "gateway/core/device_state.h"

namespace brivane::gateway {

// The MQTT side as other outputs see it: off when no broker is set.
enum class BrokerState { kOff, kDisconnected, kConnected };

// Where decoded states go (MQTT now; history and the web later). Outputs know the core,
// never each other; all calls come on the loop's thread.
class Output {
 public:
  virtual ~Output() = default;
  // Every accepted page, as the device's merged state.
  virtual void OnState(const DeviceState& state) = 0;
  // state.online has changed.
  virtual void OnAvailability(const DeviceState& state) = 0;
  // The connection to the bridge came or went.
  virtual void OnBridge(bool connected) = 0;
  // The connection to the MQTT broker came or went.
  virtual void OnBroker(BrokerState) {}
  // The gateway stops: say goodbye while the loop still runs.
  virtual void Stop() = 0;
};

}  // namespace brivane::gateway
