#include "gateway/mqtt/publish_schedule.h"

namespace brivane::gateway {

bool PublishSchedule::OnState(const std::string& device, std::string_view values, TimePoint now) {
  auto [it, added] = devices_.try_emplace(device);
  Device& entry = it->second;
  entry.latestValues = std::string(values);
  entry.quiet = false;
  const bool changed = entry.latestValues != entry.publishedValues;
  const bool publish = added || interval_.count() == 0 || now - entry.lastPublish >= refresh_ ||
                       (changed && now - entry.lastPublish >= interval_);
  if (publish) {
    entry.publishedValues = entry.latestValues;
    entry.lastPublish = now;
    entry.pending = false;
  } else {
    entry.pending = changed;  // changed back to what went out: nothing waits
  }
  return publish;
}

std::optional<PublishSchedule::TimePoint> PublishSchedule::DueAt(const Device& device) const {
  if (device.quiet) {
    return std::nullopt;
  }
  return device.pending ? device.lastPublish + interval_ : device.lastPublish + refresh_;
}

std::vector<std::string> PublishSchedule::Due(TimePoint now) {
  std::vector<std::string> due;
  for (auto& [name, device] : devices_) {
    const auto at = DueAt(device);
    if (at && *at <= now) {
      device.publishedValues = device.latestValues;
      device.lastPublish = now;
      device.pending = false;
      due.push_back(name);
    }
  }
  return due;
}

std::optional<PublishSchedule::TimePoint> PublishSchedule::NextDue() const {
  std::optional<TimePoint> next;
  for (const auto& [name, device] : devices_) {
    const auto at = DueAt(device);
    if (at && (!next || *at < *next)) {
      next = at;
    }
  }
  return next;
}

void PublishSchedule::Published(const std::string& device, TimePoint now) {
  if (auto it = devices_.find(device); it != devices_.end()) {
    it->second.publishedValues = it->second.latestValues;
    it->second.lastPublish = now;
    it->second.pending = false;
  }
}

void PublishSchedule::SetQuiet(const std::string& device) {
  if (auto it = devices_.find(device); it != devices_.end()) {
    it->second.quiet = true;
  }
}

}  // namespace brivane::gateway
