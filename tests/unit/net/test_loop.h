#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

#include <asio.hpp>

namespace brivane::testing {

inline constexpr auto kPatience = std::chrono::seconds(20);

// Runs the loop in this thread until done() holds or the patience runs out; true when
// done() holds.
inline bool RunUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::steady_clock::duration patience = kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return false;
    }
    if (io.stopped()) {
      io.restart();
    }
    // Short slices, so that conditions met outside the loop (kernel buffers) are seen.
    io.run_one_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                 std::chrono::milliseconds(5)));
  }
  return true;
}

// Runs every handler that is ready now.
inline void RunReady(asio::io_context& io) {
  if (io.stopped()) {
    io.restart();
  }
  io.poll();
}

}  // namespace brivane::testing
