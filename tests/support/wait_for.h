#pragma once

#include <chrono>
#include <functional>

namespace brivane::testkit {

// Generous enough for a loaded CI machine running the sanitizer build.
inline constexpr std::chrono::milliseconds kPatience{20000};

// What happens between two checks of a condition: a step of the loop that brings it
// about, given the time it may take.
using WaitStep = std::function<void(std::chrono::milliseconds)>;

// Checks condition until it holds or timeout passes; true when it held. Between checks
// it sleeps for step, or runs between(step) where an event loop must turn meanwhile.
// Tests wait for what they expect instead of sleeping for a fixed time.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(10),
             const WaitStep& between = {});

}  // namespace brivane::testkit
