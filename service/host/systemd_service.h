#pragma once

#include <asio.hpp>
#include <functional>
#include <string>
#include <vector>

#include "service/host/event_log.h"

namespace brivane {

// oService: the service's tie to systemd. Started by systemd (NOTIFY_SOCKET set) or in
// foreground mode, it raises Start on the loop and turns SIGTERM (and, in foreground
// mode, SIGINT) into Stop. A start that succeeds is told to systemd as READY=1.
class SystemdService {
 public:
  using StartHandler = std::function<void(bool& Success)>;
  using StopHandler = std::function<void()>;
  // Ends the process with the given exit status.
  using EndProcessFn = std::function<void(int status)>;

  SystemdService(asio::io_context& io, bool foreground, EndProcessFn endProcess);

  void OnStart(StartHandler handler) { start_ = std::move(handler); }
  void OnStop(StopHandler handler) { stop_ = std::move(handler); }

  // The signals that mean Stop, SIGTERM (and SIGINT in foreground mode) unless set here
  // before StartService.
  void WatchSignals(std::vector<int> signals) { stopSignals_ = std::move(signals); }

  // Connects to the service manager. Outside systemd and foreground mode nothing
  // follows, and the start watchdog ends the process. When the stop signals cannot be
  // watched, the failure is logged and the process ends with status 1 without a Start:
  // a service deaf to SIGTERM would run until systemd kills it.
  void StartService();

  // STOPPING=1, then the process ends: status 0 after a successful start, 1 when the
  // service never got running, so systemd shows the unit failed.
  void StopService();

  // type 1 error, 2 warning; eventId is 109 throughout.
  void LogEvent(int type, int eventId, const std::string& text) const;

  bool Foreground() const { return foreground_; }

 private:
  void RaiseStart();
  void WaitForSignal();

  asio::io_context& io_;
  bool foreground_;
  EndProcessFn endProcess_;
  EventLog log_;
  asio::signal_set signals_;
  std::vector<int> stopSignals_;
  StartHandler start_;
  StopHandler stop_;
  bool running_ = false;
  bool stopped_ = false;
};

// Whether systemd started this process (it left NOTIFY_SOCKET for us).
bool StartedBySystemd();

}  // namespace brivane
