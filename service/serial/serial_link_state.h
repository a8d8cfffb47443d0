#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the port supervision and the receive step share with the service object.
namespace brivane {

struct SerialLinkState {
  // Configured port; 0 means automatic detection. The supervision sets it to 0 when
  // the configured port proves invalid (in memory only, never written back).
  std::int32_t COMPort = 0;
  // Whole seconds of the system clock (UTC) of the last read of serial data;
  // 0 (1 January 1970) at service start so that the first supervision tick acts.
  std::int64_t LastDataTime = 0;
};

// Whole seconds of the system clock (UTC); tests pass their own.
using SecondsClock = std::function<std::int64_t()>;
std::int64_t SystemClockSeconds();

// One event-log entry: type 1 error, 2 warning (the host adds identifier 109).
using EventLogFn = std::function<void(int type, const std::string& text)>;

}  // namespace brivane
