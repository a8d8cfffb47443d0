#pragma once

#include <chrono>
#include <cstdint>

#include "service/base/service_types.h"
#include "service/serial/equipment_registry.h"
#include "service/serial/port_supervisor.h"
#include "service/serial/record_processing.h"
#include "service/serial/serial_control.h"
#include "service/serial/serial_link_state.h"
#include "service/serial/serial_receiver.h"

namespace brivane {

// The serial link to the MATE: the configured port, the time data last came, the
// probing, the receive buffer and the equipment seen. Only the link's own ticks
// change them; the host reads them when it answers a query and is handed what the
// link produces through Events.
class SerialLink {
 public:
  struct Events {
    UpdateTcpFn recordAccepted;  // each accepted record, unchanged, in order
    EventLogFn log;              // the supervision's entries
  };

  // oComm must outlive the link.
  SerialLink(SerialControl& oComm, Events events, SecondsClock clock = SystemClockSeconds);

  // At service start: the configured port (0 = automatic detection) and no data yet,
  // so that the first supervision tick acts at once.
  void Configure(std::int32_t COMPort);

  // tmrCheckCOM's tick; gives the period the timer should have from now on.
  std::chrono::milliseconds CheckComTick() { return supervisor_.CheckComTick(state_); }
  // The receive half of tmrCheckBuffer's tick.
  void ReceiveStep() { receiver_.ReceiveStep(state_); }

  std::int32_t COMPort() const { return state_.COMPort; }
  std::int64_t LastDataTime() const { return state_.LastDataTime; }
  std::int32_t ProbePort() const { return supervisor_.ProbePort(); }
  const EquipmentRegistry& Equipment() const { return receiver_.Equipment(); }

 private:
  SerialLinkState state_;
  SerialReceiver receiver_;
  PortSupervisor supervisor_;
};

}  // namespace brivane
