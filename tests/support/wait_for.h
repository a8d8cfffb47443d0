#pragma once

#include <chrono>
#include <functional>

namespace brivane::testkit {

// Checks condition until it holds or timeout passes; true when it held. Tests wait for
// what they expect instead of sleeping for a fixed time.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(10));

// Generous enough for a loaded CI machine running the sanitizer build.
inline constexpr std::chrono::milliseconds kPatience{20000};

}  // namespace brivane::testkit
