#pragma once

#include "service/base/service_types.h"
#include "service/serial/equipment_registry.h"
#include "service/serial/receive_buffer.h"
#include "service/serial/record_processing.h"
#include "service/serial/serial_control.h"
#include "service/serial/serial_link_state.h"

// The receive half of the tmrCheckBuffer tick: from the port's input queue to the
// TCP broadcast, noting the equipment seen on the way.
namespace brivane {

// Fewer waiting characters are left in the port's queue for a later tick.
inline constexpr int kMinimumWaitingCharacters = 7;

class SerialReceiver {
 public:
  // comm must outlive the receiver.
  SerialReceiver(SerialControl& comm, UpdateTcpFn updateTCP,
                 SecondsClock clock = SystemClockSeconds);

  // With 7 or more characters waiting: stamps the link's LastDataTime, reads them
  // all, appends them to the receive buffer and extracts the complete records.
  // Otherwise nothing.
  void ReceiveStep(SerialLinkState& link);

  // Hands every complete record of the buffer to ProcessRecord, in order.
  void ExtractDataFromBuffer();

  const EquipmentRegistry& Equipment() const { return registry_; }
  const ReceiveBuffer& Buffer() const { return buffer_; }

 private:
  SerialControl& comm_;
  UpdateTcpFn updateTCP_;
  SecondsClock clock_;
  ReceiveBuffer buffer_;
  EquipmentRegistry registry_;
};

}  // namespace brivane
