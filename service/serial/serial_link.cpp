#include "service/serial/serial_link.h"

#include <utility>

namespace brivane {

SerialLink::SerialLink(SerialControl& oComm, Events events, SecondsClock clock)
    : receiver_(oComm, std::move(events.recordAccepted), clock),
      supervisor_(oComm, std::move(events.log), std::move(clock)) {}

void SerialLink::Configure(std::int32_t COMPort) {
  state_ = SerialLinkState{};
  state_.COMPort = COMPort;
}

}  // namespace brivane
