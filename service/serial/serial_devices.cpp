#include "service/serial/serial_devices.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "common/settings.h"

namespace brivane {

SerialDeviceMap LoadSerialDevices(const std::filesystem::path& settingsFile) {
  SerialDeviceMap devices;
  for (int port = kLowestPortNumber; port <= kHighestPortNumber; ++port) {
    std::string path =
        ReadSettingText(settingsFile, kSerialDevicesSection, "COM" + std::to_string(port), "");
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
  std::istringstream names{std::string(activeConsoles)};
  std::string active;
  while (names >> active) {
    if (active == name) {
      return true;
    }
  }
  return false;
}

std::string ReadActiveConsoles() {
  std::ifstream file("/sys/class/tty/console/active");
  std::string text;
  std::getline(file, text);
  return text;
}

}  // namespace brivane
