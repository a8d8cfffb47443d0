#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/core/device_state.h"
#include "mate/page.h"

namespace brivane::gateway {

// Every device that has sent a page, with its latest state and its availability: online
// from its page on, offline once silence has passed without another or the bridge is lost.
class DeviceRegistry {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  explicit DeviceRegistry(std::chrono::milliseconds silence) : silence_(silence) {}

  struct Accepted {
    const DeviceState* state;
    bool cameOnline;  // it was unknown or offline before this page
  };
  // Takes a decoded page and its JSON form.
  Accepted Accept(const mate::Page& page, nlohmann::json pageJson, TimePoint now);

  // The devices that have just gone offline for silence.
  std::vector<const DeviceState*> Expire(TimePoint now);
  // All online devices go offline (the bridge is lost); those are returned.
  std::vector<const DeviceState*> AllOffline();
  // When the next online device falls silent.
  std::optional<TimePoint> NextExpiry() const;

  const std::map<std::string, DeviceState>& States() const { return states_; }
  const DeviceState* Find(const std::string& device) const;

 private:
  std::chrono::milliseconds silence_;
  std::map<std::string, DeviceState> states_;
};

}  // namespace brivane::gateway
