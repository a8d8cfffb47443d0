#pragma once

#include <optional>
#include <string>

#include "service/serial/comm_error.h"

namespace brivane {

// The serial control oComm as the rest of the service sees it (a fake in tests).
class SerialControl {
 public:
  virtual ~SerialControl() = default;
  virtual int CommPort() const = 0;
  // Checks only the range (1 to 255) and that the port is closed.
  virtual std::optional<CommError> SetCommPort(int port) = 0;
  virtual bool PortOpen() const = 0;
  virtual std::optional<CommError> SetPortOpen(bool open) = 0;
  virtual int InBufferCount() = 0;  // 0 while closed
  virtual std::string Input() = 0;  // all waiting bytes
};

}  // namespace brivane
