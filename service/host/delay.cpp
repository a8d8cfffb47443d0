#include "service/host/delay.h"

#include <chrono>
#include <limits>
#include <thread>

namespace brivane {

std::optional<std::int16_t> DelayMilliseconds(std::int16_t seconds) {
  const int milliseconds = int{seconds} * 1000;
  if (milliseconds < 0 || milliseconds > std::numeric_limits<std::int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int16_t>(milliseconds);
}

bool Delay(std::int16_t seconds) {
  const auto milliseconds = DelayMilliseconds(seconds);
  if (!milliseconds) {
    return false;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(*milliseconds));
  return true;
}

}  // namespace brivane
