#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brivane::gateway {

// When a device's state goes out: its first page at once; then at most once per
// interval while the values change (the latest values when the interval is over); and
// at least every refresh period even when nothing changes, so that readers can tell a
// quiet device from a gone one. An interval of zero sends every page.
class PublishSchedule {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  PublishSchedule(std::chrono::milliseconds interval, std::chrono::milliseconds refresh)
      : interval_(interval), refresh_(refresh) {}

  // A page of device with these values (the state without its time) has arrived.
  // True: publish it now (and it counts as published).
  bool OnState(const std::string& device, std::string_view values, TimePoint now);
  // Devices whose state is due now; they count as published.
  std::vector<std::string> Due(TimePoint now);
  // When Due next has something.
  std::optional<TimePoint> NextDue() const;
  // The device's state went out anyway (everything sent again after a reconnect).
  void Published(const std::string& device, TimePoint now);
  // A silent device is not refreshed until its next page.
  void SetQuiet(const std::string& device);

 private:
  struct Device {
    std::string publishedValues;
    std::string latestValues;
    TimePoint lastPublish;
    bool pending = false;  // changed values wait for the interval to pass
    bool quiet = false;
  };
  std::optional<TimePoint> DueAt(const Device& device) const;

  std::chrono::milliseconds interval_;
  std::chrono::milliseconds refresh_;
  std::map<std::string, Device> devices_;
};

}  // namespace brivane::gateway
