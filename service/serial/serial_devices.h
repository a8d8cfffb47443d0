#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "common/profile_document.h"

// Which device file a port number names.
namespace brivane {

inline constexpr int kLowestPortNumber = 1;
inline constexpr int kHighestPortNumber = 255;
inline constexpr std::string_view kSerialDevicesSection = "SerialDevices";

// Port number -> device path, from the keys COM1 to COM255 of [SerialDevices].
using SerialDeviceMap = std::map<int, std::string>;

// Reads [SerialDevices] of the settings; keys with an empty value are left out.
SerialDeviceMap LoadSerialDevices(const ProfileDocument& settings);

using DeviceExistsFn = std::function<bool(const std::string& path)>;
bool DeviceExists(const std::string& path);

// The mapped device, else /dev/ttyUSB<n-1> where it exists (the usual USB serial
// adapter), else /dev/ttyS<n-1>.
std::string DevicePathFor(int port, const SerialDeviceMap& devices,
                          const DeviceExistsFn& exists = DeviceExists);

// True when device (after following links) is one of the kernel's active consoles,
// as listed in /sys/class/tty/console/active ("tty0 ttyS0"), or /dev/console itself.
bool IsActiveConsole(const std::string& device, std::string_view activeConsoles);

// The text of /sys/class/tty/console/active; empty when it cannot be read.
std::string ReadActiveConsoles();

}  // namespace brivane
