#pragma once

#include <cstdint>

namespace brivane {

// The figures that supervision and reception both change, owned by the serial link.
struct SerialLinkState {
  // The configured port, 0 for automatic detection. Supervision sets it to 0 (in
  // memory only) when the configured port proves invalid.
  std::int32_t COMPort = 0;
  // Whole seconds UTC of the last read of serial data; 0 (1 January 1970) until
  // then, so that the first supervision tick acts.
  std::int64_t LastDataTime = 0;
};

}  // namespace brivane
