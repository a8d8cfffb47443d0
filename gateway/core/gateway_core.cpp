#include "gateway/core/gateway_core.h"

#include <variant>

#include "mate/decode.h"
#include "mate/page_json.h"

namespace brivane::gateway {

GatewayCore::GatewayCore(asio::io_context& io, std::chrono::milliseconds silence, LogFn log)
    : timer_(io), log_(std::move(log)), registry_(silence) {}

void GatewayCore::OnRecord(const std::string& record) {
  if (stopped_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  auto decoded = mate::DecodePage(record);
  if (auto* rejection = std::get_if<mate::Rejection>(&decoded)) {
    if (auto line = rejects_.OnReject(rejection->reason, rejection->page, now)) {
      log_(LogLevel::kWarning, *line);
    }
    ArmTimer();
    return;
  }
  const auto& page = std::get<mate::Page>(decoded);
  const auto accepted =
      registry_.Accept(page, mate::PageJson(page, std::chrono::system_clock::now()), now);
  for (Output* output : outputs_) {
    if (accepted.cameOnline) {
      output->OnAvailability(*accepted.state);
    }
    output->OnState(*accepted.state);
  }
  ArmTimer();
}

void GatewayCore::OnBridgeConnected() {
  bridgeConnected_ = true;
  for (Output* output : outputs_) {
    output->OnBridge(true);
  }
}

void GatewayCore::OnBridgeLost() {
  bridgeConnected_ = false;
  for (const DeviceState* state : registry_.AllOffline()) {
    for (Output* output : outputs_) {
      output->OnAvailability(*state);
    }
  }
  for (Output* output : outputs_) {
    output->OnBridge(false);
  }
  ArmTimer();
}

void GatewayCore::OnBroker(BrokerState state) {
  if (state == broker_) {
    return;
  }
  broker_ = state;
  for (Output* output : outputs_) {
    output->OnBroker(state);
  }
}

void GatewayCore::Stop() {
  stopped_ = true;
  timer_.cancel();
  for (Output* output : outputs_) {
    output->Stop();
  }
}

// One timer for the nearest of: a device falling silent, a rejection count to report.
void GatewayCore::ArmTimer() {
  std::optional<std::chrono::steady_clock::time_point> next = registry_.NextExpiry();
  if (const auto flush = rejects_.NextFlush(); flush && (!next || *flush < *next)) {
    next = flush;
  }
  if (!next || stopped_) {
    return;
  }
  if (armed_ && armedFor_ <= *next) {
    return;  // it wakes up in time and looks again then
  }
  armed_ = true;
  armedFor_ = *next;
  timer_.expires_at(*next);
  timer_.async_wait([this](const asio::error_code& error) {
    if (!error) {
      armed_ = false;
      OnTimer();
    }
  });
}

void GatewayCore::OnTimer() {
  const auto now = std::chrono::steady_clock::now();
  for (const DeviceState* state : registry_.Expire(now)) {
    log_(LogLevel::kInfo, "no page from " + state->device + " for a while: offline");
    for (Output* output : outputs_) {
      output->OnAvailability(*state);
    }
  }
  if (auto line = rejects_.Flush(now)) {
    log_(LogLevel::kWarning, *line);
  }
  ArmTimer();
}

}  // namespace brivane::gateway
