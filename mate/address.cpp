#include "mate/address.h"

namespace mate {

std::optional<DeviceAddress> AddressOf(char address) {
  if (address >= '0' && address <= ':') {
    return DeviceAddress{DeviceType::Fx, address - '0'};
  }
  if (address >= 'A' && address <= 'J') {
    return DeviceAddress{DeviceType::Mx, address - 'A' + 1};
  }
  if (address >= 'a' && address <= 'j') {
    return DeviceAddress{DeviceType::Fndc, address - 'a' + 1};
  }
  return std::nullopt;
}

std::optional<char> AddressFor(DeviceType type, int port) {
  switch (type) {
    case DeviceType::Fx:
      if (port >= 0 && port <= 10) {
        return static_cast<char>('0' + port);
      }
      break;
    case DeviceType::Mx:
      if (port >= 1 && port <= 10) {
        return static_cast<char>('A' + port - 1);
      }
      break;
    case DeviceType::Fndc:
      if (port >= 1 && port <= 10) {
        return static_cast<char>('a' + port - 1);
      }
      break;
  }
  return std::nullopt;
}

}  // namespace mate
