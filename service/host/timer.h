#pragma once

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <system_error>

namespace brivane {

// A periodic timer: while enabled it ticks every Interval, on the loop's thread, until
// it is disabled. Setting the interval of an
// enabled timer starts the countdown afresh; an interval of zero keeps it from ticking.
// A tick that comes late does not bring a burst of catch-up ticks after it.
template <typename Clock, typename WaitTraits = asio::wait_traits<Clock>>
class BasicTimer {
 public:
  using TickHandler = std::function<void()>;

  BasicTimer(asio::io_context& io, std::chrono::milliseconds interval)
      : timer_(io), interval_(interval) {}
  ~BasicTimer() { *alive_ = false; }
  BasicTimer(const BasicTimer&) = delete;
  BasicTimer& operator=(const BasicTimer&) = delete;

  void OnTick(TickHandler handler) { tick_ = std::move(handler); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) {
    if (enabled == enabled_) {
      return;
    }
    enabled_ = enabled;
    Restart();
  }

  std::chrono::milliseconds Interval() const { return interval_; }
  void SetInterval(std::chrono::milliseconds interval) {
    interval_ = interval;
    if (enabled_) {
      Restart();
    }
  }

 private:
  void Restart() {
    ++generation_;
    timer_.cancel();
    if (enabled_ && interval_.count() > 0) {
      Arm(Clock::now() + interval_);
    }
  }

  void Arm(typename Clock::time_point due) {
    timer_.expires_at(due);
    // A wait that a restart has overtaken may still complete without error; the
    // generation tells it apart. The alive flag outlives the timer in the handler.
    timer_.async_wait([this, alive = alive_, generation = generation_](const std::error_code& ec) {
      if (ec || !*alive || generation != generation_) {
        return;
      }
      Tick();
    });
  }

  void Tick() {
    // The next countdown runs before the handler, so that the handler may change it.
    auto next = timer_.expiry() + interval_;
    const auto now = Clock::now();
    if (next <= now) {
      next = now + interval_;
    }
    Arm(next);
    if (tick_) {
      tick_();
    }
  }

  asio::basic_waitable_timer<Clock, WaitTraits> timer_;
  std::chrono::milliseconds interval_;
  bool enabled_ = false;
  unsigned generation_ = 0;
  TickHandler tick_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

using Timer = BasicTimer<std::chrono::steady_clock>;

}  // namespace brivane
