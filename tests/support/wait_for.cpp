#include "tests/support/wait_for.h"

#include <thread>

namespace brivane::testkit {

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step, const WaitStep& between) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return condition();
    }
    if (between) {
      between(step);
    } else {
      std::this_thread::sleep_for(step);
    }
  }
}

}  // namespace brivane::testkit
