#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the serial link, the network side and the host all speak of. It lives above
// both service/serial and service/net so that neither needs the other.
namespace brivane {

// Event-log entry types; the host adds the event identifier.
inline constexpr int kEventTypeError = 1;
inline constexpr int kEventTypeWarning = 2;

using EventLogFn = std::function<void(int type, const std::string& text)>;

// Whole seconds of the system clock (UTC), so that daylight saving stalls nothing;
// tests pass their own.
using SecondsClock = std::function<std::int64_t()>;
std::int64_t SystemClockSeconds();

// A failure as the event log and the setup texts name it: a number and its text.
struct NumberedError {
  int number;
  std::string description;
};

// The errno value and its strerror text.
NumberedError SystemError(int errorNumber);

}  // namespace brivane
