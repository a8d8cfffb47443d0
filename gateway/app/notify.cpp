#include "gateway/app/notify.h"

#include <systemd/sd-daemon.h>

namespace brivane::gateway {

ServiceNotify::ServiceNotify(asio::io_context& io) : watchdog_(io) {
  std::uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
    period_ = std::chrono::microseconds(usec / 2);
  }
}

void ServiceNotify::Ready() {
  sd_notify(0, "READY=1");
  if (period_) {
    Pet();
  }
}

void ServiceNotify::Stopping() {
  watchdog_.cancel();
  sd_notify(0, "STOPPING=1");
}

// The loop's own timer proves the loop turns.
void ServiceNotify::Pet() {
  sd_notify(0, "WATCHDOG=1");
  watchdog_.expires_after(*period_);
  watchdog_.async_wait([this](const asio::error_code& error) {
    if (!error) {
      Pet();
    }
  });
}

}  // namespace brivane::gateway
