#pragma once

#include <asio.hpp>
#include <chrono>
#include <optional>

namespace brivane::gateway {

// The service manager's view of the gateway: ready, alive (the watchdog), stopping.
class ServiceNotify {
 public:
  explicit ServiceNotify(asio::io_context& io);
  void Ready();
  void Stopping();

 private:
  void Pet();

  asio::steady_timer watchdog_;
  std::optional<std::chrono::microseconds> period_;
};

}  // namespace brivane::gateway
