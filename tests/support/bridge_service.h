#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/notify_socket.h"
#include "tests/support/service_folder.h"

namespace brivane::testkit {

// Brivane.ini for a service on ports of its own: COMPort and the [SerialDevices]
// mapping (port number -> device path).
std::string BridgeIni(std::uint16_t port, int comPort, const std::map<int, std::string>& devices);

// A BrivaneSvc --foreground in a folder of its own, TCP and UDP on one free port number,
// started and ready (systemd's READY=1) when Started() holds.
class BridgeService {
 public:
  BridgeService(int comPort, const std::map<int, std::string>& devices);
  ~BridgeService();
  BridgeService(const BridgeService&) = delete;
  BridgeService& operator=(const BridgeService&) = delete;

  bool Started() const { return started_; }
  std::uint16_t Port() const { return port_; }
  ChildProcess& Process() { return *process_; }

  // The event-log lines so far ("error 109: ...", "warning 109: ...").
  std::vector<std::string> Events() const;
  // Until there are count event-log lines.
  bool WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;

  std::optional<std::vector<std::string>> Status(std::chrono::milliseconds timeout) const;
  // Until a status reply satisfies condition (each try waits for its own reply).
  bool WaitForStatus(const std::function<bool(const std::vector<std::string>&)>& condition,
                     std::chrono::milliseconds timeout) const;
  // Until the serial port is open on port number comPort (status fields 7 and 8).
  bool WaitForPortOpen(int comPort, std::chrono::milliseconds timeout) const;
  // Until two more buffer-timer ticks have run (two status round trips), so that
  // everything the service had to read before now has been looked at.
  bool WaitForTicks(std::chrono::milliseconds timeout) const;

  // SIGTERM and a clean exit.
  bool Stop(std::chrono::milliseconds timeout);

 private:
  std::uint16_t port_ = 0;
  NotifySocket notify_;
  std::unique_ptr<ServiceFolder> folder_;
  std::unique_ptr<ChildProcess> process_;
  bool started_ = false;
};

}  // namespace brivane::testkit
