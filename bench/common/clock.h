#pragma once

#include <time.h>

#include <cstdint>

namespace brivane::bench {

// The clock's time in nanoseconds.
inline std::int64_t Nanoseconds(clockid_t clock) {
  timespec time{};
  clock_gettime(clock, &time);
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace brivane::bench
