#include "service/serial/serial_receiver.h"

#include <utility>

namespace brivane {

SerialReceiver::SerialReceiver(SerialControl& comm, UpdateTcpFn updateTCP, SecondsClock clock)
    : comm_(comm), updateTCP_(std::move(updateTCP)), clock_(std::move(clock)) {}

void SerialReceiver::ReceiveStep(SerialLinkState& link) {
  if (comm_.InBufferCount() < kMinimumWaitingCharacters) {
    return;
  }
  link.LastDataTime = clock_();
  buffer_.Append(comm_.Input());
  ExtractDataFromBuffer();
}

void SerialReceiver::ExtractDataFromBuffer() {
  buffer_.ExtractDataFromBuffer(
      [this](const std::string& record) { ProcessRecord(record, registry_, updateTCP_); });
}

}  // namespace brivane
