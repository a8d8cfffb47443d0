#pragma once

#include <chrono>

namespace brivane::gateway {

// Waits between attempts to reach something: doubling from first up to cap, back to
// first once it worked.
class Backoff {
 public:
  Backoff(std::chrono::milliseconds first, std::chrono::milliseconds cap)
      : first_(first), cap_(cap), next_(first) {}

  std::chrono::milliseconds Next() {
    const auto wait = next_;
    next_ = next_ * 2 > cap_ ? cap_ : next_ * 2;
    return wait;
  }
  void Reset() { next_ = first_; }

 private:
  std::chrono::milliseconds first_;
  std::chrono::milliseconds cap_;
  std::chrono::milliseconds next_;
};

}  // namespace brivane::gateway
