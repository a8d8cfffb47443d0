#pragma once

#include <chrono>
#include <functional>

#include <asio.hpp>

#include "tests/support/wait_for.h"

namespace brivane::testing {

using testkit::kPatience;

// Runs the loop in this thread until done() holds or the patience runs out; true when
// done() holds.
inline bool RunUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::milliseconds patience = kPatience) {
  // Short slices, so that conditions met outside the loop (kernel buffers) are seen.
  return testkit::WaitFor(done, patience, std::chrono::milliseconds(5),
                          [&](std::chrono::milliseconds slice) {
                            if (io.stopped()) {
                              io.restart();
                            }
                            io.run_one_for(slice);
                          });
}

// Runs every handler that is ready now.
inline void RunReady(asio::io_context& io) {
  if (io.stopped()) {
    io.restart();
  }
  io.poll();
}

}  // namespace brivane::testing
