#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "service/base/service_types.h"
#include "service/serial/serial_control.h"
#include "service/serial/serial_link_state.h"

// tmrCheckCOM: keeps the MATE's serial port open, either the configured one or the
// one found by trying COM1 to COM4 in turn until data arrives.
namespace brivane {

inline constexpr std::chrono::milliseconds kCheckComFirstInterval{250};
inline constexpr std::chrono::milliseconds kCheckComInterval{2500};
// Data more than this many whole seconds old is stale.
inline constexpr std::int64_t kStaleAfterSeconds = 2;
inline constexpr std::int32_t kHighestProbePort = 4;

class PortSupervisor {
 public:
  // comm must outlive the supervisor.
  PortSupervisor(SerialControl& comm, EventLogFn log, SecondsClock clock = SystemClockSeconds);

  // One tick over the link's figures. The result is the period the timer should have
  // from now on, kCheckComInterval; the host sets it when the timer's period differs
  // (the first tick, which comes kCheckComFirstInterval after the timer is enabled).
  std::chrono::milliseconds CheckComTick(SerialLinkState& link);

  // The port automatic detection tried last; 0 before the first probe.
  std::int32_t ProbePort() const { return ProbePort_; }

 private:
  void AutomaticDetection(SerialLinkState& link);
  void FixedPortSupervision(SerialLinkState& link);
  void Log(const std::string& text) const;

  SerialControl& comm_;
  EventLogFn log_;
  SecondsClock clock_;
  std::int32_t ProbePort_ = 0;
};

}  // namespace brivane
