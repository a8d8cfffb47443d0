#include "service/serial/serial_devices.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/file_text.h"
#include "common/settings.h"

namespace brivane {

SerialDeviceMap LoadSerialDevices(const ProfileDocument& settings) {
  SerialDeviceMap devices;
  for (int port = kLowestPortNumber; port <= kHighestPortNumber; ++port) {
    std::string path =
        ReadSettingText(settings, kSerialDevicesSection, "COM" + std::to_string(port), "");
    if (!path.empty()) {
      devices.emplace(port, std::move(path));
    }
  }
  return devices;
}

bool DeviceExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

std::string DevicePathFor(int port, const SerialDeviceMap& devices, const DeviceExistsFn& exists) {
  if (auto mapped = devices.find(port); mapped != devices.end()) {
    return mapped->second;
  }
  const std::string index = std::to_string(port - 1);
  std::string usb = "/dev/ttyUSB" + index;
  if (exists(usb)) {
    return usb;
  }
  return "/dev/ttyS" + index;
}

bool IsActiveConsole(const std::string& device, std::string_view activeConsoles) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(device, error);
  if (error) {
    resolved = device;
  }
  const std::string name = resolved.filename().string();
  if (resolved == "/dev/console") {
    return true;
  }
  constexpr std::string_view kBlanks = " \t\r\n";
  std::string_view names = activeConsoles;
  for (auto start = names.find_first_not_of(kBlanks); start != std::string_view::npos;
       start = names.find_first_not_of(kBlanks, start)) {
    const auto end = std::min(names.find_first_of(kBlanks, start), names.size());
    if (names.substr(start, end - start) == name) {
      return true;
    }
    start = end;
  }
  return false;
}

std::string ReadActiveConsoles() {
  std::string text = ReadWholeFile("/sys/class/tty/console/active").value_or("");
  text.resize(std::min(text.find('\n'), text.size()));
  return text;
}

}  // namespace brivane
