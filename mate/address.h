#pragma once

#include <optional>

#include "mate/page.h"

namespace mate {

struct DeviceAddress {
  DeviceType type;
  int port;
};

// FX: '0' wired straight to the MATE, '1'-'9' and ':' hub ports 1-10; MX: 'A'-'J'
// hub ports 1-10; FLEXnet DC: 'a'-'j' hub ports 1-10. Nothing else is a device.
std::optional<DeviceAddress> AddressOf(char address);

// The address character of a device on a port; nothing where no such address exists.
std::optional<char> AddressFor(DeviceType type, int port);

}  // namespace mate
