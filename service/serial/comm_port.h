#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "common/unique_fd.h"
#include "service/serial/serial_control.h"
#include "service/serial/serial_devices.h"

namespace brivane {

// The serial control on a Linux tty: 19200 baud 8N1, raw, no flow control, DTR
// asserted and RTS cleared (the MATE's interface is powered by DTR high, RTS low),
// held exclusively. Receive only: nothing is ever written to the port.
class TtyCommPort : public SerialControl {
 public:
  // Takes the [SerialDevices] mapping of the settings file, read once here.
  explicit TtyCommPort(const std::filesystem::path& settingsFile);
  explicit TtyCommPort(SerialDeviceMap devices = {});
  ~TtyCommPort() override;
  TtyCommPort(const TtyCommPort&) = delete;
  TtyCommPort& operator=(const TtyCommPort&) = delete;

  int CommPort() const override { return port_; }
  // 8002 outside 1 to 255, 8005 while the port is open.
  std::optional<CommError> SetCommPort(int port) override;
  bool PortOpen() const override { return static_cast<bool>(fd_); }
  // Opening: 8002 for a device that is not there, 8005 for one held by another
  // process (or the same port opened twice) or serving as the kernel's console,
  // otherwise errno and its text.
  std::optional<CommError> SetPortOpen(bool open) override;
  // A hang-up or read error (adapter unplugged) closes the port, so that the
  // supervision opens it again.
  int InBufferCount() override;
  std::string Input() override;

  // The device file the current port number names.
  std::string DevicePath() const;

  // For a control made before the settings are read: the mapping read at service
  // start. Applies from the next opening.
  void UseSerialDevices(SerialDeviceMap devices) { devices_ = std::move(devices); }

 private:
  std::optional<CommError> Open();
  std::optional<CommError> Close();

  SerialDeviceMap devices_;
  int port_ = 1;
  UniqueFd fd_;
};

// A class cannot have a member named like itself, so the real control is
// TtyCommPort and this is the name the service knows it by.
using CommPort = TtyCommPort;

}  // namespace brivane
