#include "service/serial/port_supervisor.h"

#include <string>
#include <utility>

namespace brivane {

namespace {

bool IsSilentError(const CommError& error) {
  return error.number == kInvalidPortNumber || error.number == kPortAlreadyOpen;
}

std::string ErrorSuffix(const CommError& error) {
  return ". Err: " + std::to_string(error.number) + ", " + error.description;
}

}  // namespace

PortSupervisor::PortSupervisor(SerialControl& comm, EventLogFn log, SecondsClock clock)
    : comm_(comm), log_(std::move(log)), clock_(std::move(clock)) {}

std::chrono::milliseconds PortSupervisor::CheckComTick(SerialLinkState& link) {
  // A clock set back makes the count negative: the tick waits until it catches up.
  const std::int64_t elapsed = clock_() - link.LastDataTime;
  if (elapsed > kStaleAfterSeconds) {
    if (link.COMPort == 0) {
      AutomaticDetection(link);
    } else {
      FixedPortSupervision(link);
    }
  }
  return kCheckComInterval;
}

void PortSupervisor::AutomaticDetection(SerialLinkState& link) {
  ++ProbePort_;
  if (ProbePort_ > kHighestProbePort) {
    ProbePort_ = 1;
  }
  if (comm_.PortOpen()) {
    if (auto error = comm_.SetPortOpen(false)) {
      Log("tmrCheckCOM: Error closing COM port " + std::to_string(comm_.CommPort()) +
          ErrorSuffix(*error));
    }
  }
  link.LastDataTime = clock_();
  if (auto error = comm_.SetCommPort(ProbePort_)) {
    if (IsSilentError(*error)) {
      return;
    }
    Log("tmrCheckCOM: Error auto-setting COM port " + std::to_string(ProbePort_) +
        ErrorSuffix(*error));
  }
  if (auto error = comm_.SetPortOpen(true)) {
    if (IsSilentError(*error)) {
      return;
    }
    Log("tmrCheckCOM: Error probing COM port " + std::to_string(ProbePort_) + ErrorSuffix(*error));
  }
}

void PortSupervisor::FixedPortSupervision(SerialLinkState& link) {
  const std::string port = std::to_string(link.COMPort);
  if (comm_.CommPort() != link.COMPort) {
    if (auto error = comm_.SetCommPort(link.COMPort)) {
      if (IsSilentError(*error)) {
        return;
      }
      Log("tmrCheckCOM: Error setting COM port " + port + ErrorSuffix(*error));
    }
  }
  if (comm_.PortOpen()) {
    return;
  }
  auto error = comm_.SetPortOpen(true);
  if (!error) {
    return;
  }
  const std::string detail = std::to_string(error->number) + ", " + error->description;
  if (error->number == kInvalidPortNumber) {
    Log("tmrCheckCOM: Port " + port +
        " is an invalid port number. Reverting to automatic detection. Err: " + detail);
    link.COMPort = 0;
  } else if (error->number == kPortAlreadyOpen) {
    Log("tmrCheckCOM: Port port " + port +
        " already opened by another application! Err: " + detail);
  } else {
    Log("tmrCheckCOM: Error opening COM port " + port + ErrorSuffix(*error));
  }
}

void PortSupervisor::Log(const std::string& text) const {
  if (log_) {
    log_(kEventTypeError, text);
  }
}

}  // namespace brivane
