#include "service/host/systemd_service.h"

#include <csignal>
#include <cstdlib>

#include "service/host/service_notify.h"

namespace brivane {

bool StartedBySystemd() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return socket != nullptr && *socket != '\0';
}

SystemdService::SystemdService(asio::io_context& io, bool foreground, EndProcessFn endProcess)
    : io_(io),
      foreground_(foreground),
      endProcess_(std::move(endProcess)),
      log_(foreground),
      signals_(io),
      stopSignals_(foreground ? std::vector<int>{SIGTERM, SIGINT} : std::vector<int>{SIGTERM}) {}

void SystemdService::StartService() {
  if (!foreground_ && !StartedBySystemd()) {
    return;
  }
  for (const int signal : stopSignals_) {
    std::error_code error;
    signals_.add(signal, error);
    if (error) {
      LogEvent(kEventTypeError, kEventId,
               "oService_Start: Error watching for signal " + std::to_string(signal) + ": " +
                   std::to_string(error.value()) + ", " + error.message());
      asio::post(io_, [this] { StopService(); });
      return;
    }
  }
  WaitForSignal();
  asio::post(io_, [this] { RaiseStart(); });
}

void SystemdService::RaiseStart() {
  bool Success = false;
  if (start_) {
    start_(Success);
  }
  if (Success && !stopped_) {
    running_ = true;
    NotifyServiceManager("READY=1");
  }
}

void SystemdService::WaitForSignal() {
  signals_.async_wait([this](const std::error_code& ec, int) {
    if (ec) {
      return;
    }
    WaitForSignal();
    if (stop_) {
      stop_();
    }
  });
}

void SystemdService::StopService() {
  if (stopped_) {
    return;
  }
  stopped_ = true;
  NotifyServiceManager("STOPPING=1");
  std::error_code ignored;
  signals_.cancel(ignored);
  endProcess_(running_ ? 0 : 1);
}

void SystemdService::LogEvent(int type, int eventId, const std::string& text) const {
  log_.Write(type, eventId, text);
}

}  // namespace brivane
