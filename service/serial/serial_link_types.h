#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the serial link takes from the service object besides its state.
namespace brivane {

// Whole seconds of the system clock (UTC); tests pass their own.
using SecondsClock = std::function<std::int64_t()>;
std::int64_t SystemClockSeconds();

// One event-log entry: type 1 error, 2 warning (the host adds identifier 109).
using EventLogFn = std::function<void(int type, const std::string& text)>;

}  // namespace brivane
