#pragma once

#include <chrono>
#include <cstdint>

#include "service/serial/serial_control.h"
#include "service/serial/serial_link_types.h"

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
  // comm, COMPort and LastDataTime must outlive the supervisor. Both numbers belong
  // to the service object: COMPort the configured port (0 = automatic detection),
  // which the supervision sets to 0 when the configured port proves invalid (in
  // memory only); LastDataTime whole seconds UTC of the last read of serial data,
  // 0 (1 January 1970) at service start so that the first tick acts.
  PortSupervisor(SerialControl& comm, std::int32_t& COMPort, std::int64_t& LastDataTime,
                 EventLogFn log, SecondsClock clock = SystemClockSeconds);

  // One tick. The result is the period the timer should have from now on,
  // kCheckComInterval; the host sets it when the timer's period differs (the first
  // tick, which comes kCheckComFirstInterval after the timer is enabled).
  std::chrono::milliseconds CheckComTick();

  // The port automatic detection tried last; 0 before the first probe.
  std::int32_t ProbePort() const { return ProbePort_; }

 private:
  void AutomaticDetection();
  void FixedPortSupervision();
  void Log(const std::string& text) const;

  SerialControl& comm_;
  std::int32_t& COMPort_;
  std::int64_t& LastDataTime_;
  EventLogFn log_;
  SecondsClock clock_;
  std::int32_t ProbePort_ = 0;
};

}  // namespace brivane
