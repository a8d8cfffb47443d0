#include "gateway/core/device_registry.h"

#include <utility>

namespace brivane::gateway {
namespace {

// The FLEXnet DC sends one extra-data item per page; the state keeps the others it
// has seen so that every value stays visible.
void KeepExtraData(const nlohmann::json& previous, nlohmann::json& next) {
  for (int kind = 0; kind < 64; ++kind) {
    const std::string key(mate::ExtraDataKey(kind));
    if (!key.empty() && !next.contains(key) && previous.contains(key)) {
      next[key] = previous[key];
    }
  }
}

}  // namespace

DeviceRegistry::Accepted DeviceRegistry::Accept(const mate::Page& page, nlohmann::json pageJson,
                                                TimePoint now) {
  const std::string name = mate::DeviceName(page);
  auto [it, added] = states_.try_emplace(name);
  DeviceState& state = it->second;
  if (added) {
    state.device = name;
    state.type = page.type;
    state.port = page.port;
    state.address = page.address;
  }
  if (page.type == mate::DeviceType::Fndc && !added) {
    KeepExtraData(state.json, pageJson);
  }
  state.json = std::move(pageJson);
  state.lastPage = now;
  const bool cameOnline = !state.online;
  state.online = true;
  return {&state, cameOnline};
}

std::vector<const DeviceState*> DeviceRegistry::Expire(TimePoint now) {
  std::vector<const DeviceState*> gone;
  for (auto& [name, state] : states_) {
    if (state.online && now - state.lastPage >= silence_) {
      state.online = false;
      gone.push_back(&state);
    }
  }
  return gone;
}

std::vector<const DeviceState*> DeviceRegistry::AllOffline() {
  std::vector<const DeviceState*> gone;
  for (auto& [name, state] : states_) {
    if (state.online) {
      state.online = false;
      gone.push_back(&state);
    }
  }
  return gone;
}

std::optional<DeviceRegistry::TimePoint> DeviceRegistry::NextExpiry() const {
  std::optional<TimePoint> next;
  for (const auto& [name, state] : states_) {
    if (state.online && (!next || state.lastPage + silence_ < *next)) {
      next = state.lastPage + silence_;
    }
  }
  return next;
}

const DeviceState* DeviceRegistry::Find(const std::string& device) const {
  const auto it = states_.find(device);
  return it == states_.end() ? nullptr : &it->second;
}

}  // namespace brivane::gateway
