#include "tests/support/bridge_service.h"

#include <csignal>

#include "common/udp_wire.h"
#include "tests/support/ports.h"
#include "tests/support/udp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {

std::string BridgeIni(std::uint16_t port, int comPort, const std::map<int, std::string>& devices) {
  std::string text = "[BrivaneSvc]\nCOMPort=" + std::to_string(comPort) +
                     "\nUDPBPort=" + std::to_string(port) + "\nTCPPort=" + std::to_string(port) +
                     "\n\n[SerialDevices]\n";
  for (const auto& [number, path] : devices) {
    text += "COM" + std::to_string(number) + "=" + path + "\n";
  }
  return text;
}

BridgeService::BridgeService(int comPort, const std::map<int, std::string>& devices)
    : port_(FreePort()) {
  folder_ = std::make_unique<ServiceFolder>(BridgeIni(port_, comPort, devices));
  process_ = folder_->Start({"--foreground"}, {{"NOTIFY_SOCKET", notify_.Path().string()}});
  started_ = notify_.WaitFor("READY=1", kPatience);
}

BridgeService::~BridgeService() {
  if (process_ && process_->Running()) {
    process_->Signal(SIGTERM);
    process_->WaitForExit(kPatience);
  }
}

std::vector<std::string> BridgeService::Events() const {
  return EventLines(process_->StderrLines());
}

bool BridgeService::WaitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return Events().size() >= count; }, timeout);
}

std::optional<std::vector<std::string>> BridgeService::Status(
    std::chrono::milliseconds timeout) const {
  // A socket of its own each time, so that no late reply to an earlier try is taken.
  UdpClient console;
  if (!console.SendTo(port_, kStatusRequest)) {
    return std::nullopt;
  }
  const auto reply = console.Receive(timeout);
  if (!reply) {
    return std::nullopt;
  }
  return ParseStatusReply(*reply);
}

bool BridgeService::WaitForStatus(
    const std::function<bool(const std::vector<std::string>&)>& condition,
    std::chrono::milliseconds timeout) const {
  return WaitFor(
      [&] {
        const auto fields = Status(std::chrono::milliseconds(2000));
        return fields && condition(*fields);
      },
      timeout, std::chrono::milliseconds(50));
}

bool BridgeService::WaitForPortOpen(int comPort, std::chrono::milliseconds timeout) const {
  return WaitForStatus(
      [&](const std::vector<std::string>& fields) {
        return fields[7] == std::to_string(comPort) && fields[8] == "True";
      },
      timeout);
}

bool BridgeService::WaitForTicks(std::chrono::milliseconds timeout) const {
  return Status(timeout).has_value() && Status(timeout).has_value();
}

bool BridgeService::Stop(std::chrono::milliseconds timeout) {
  return process_->Signal(SIGTERM) && process_->WaitForExit(timeout) == 0;
}

}  // namespace brivane::testkit
