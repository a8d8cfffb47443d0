#pragma once

#include <cstdint>
#include <optional>

namespace brivane {

// Waits whole seconds by sleeping the calling thread; nothing else runs meanwhile.
// The wait in milliseconds must fit 16 signed bits, so 0 to 32 seconds are accepted;
// any other value waits not at all and gives false.
bool Delay(std::int16_t seconds);

// The milliseconds Delay waits for seconds, or nothing when out of range.
std::optional<std::int16_t> DelayMilliseconds(std::int16_t seconds);

}  // namespace brivane
