#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>

namespace brivane::bench {

// One read from a socket with SO_TIMESTAMPNS on: how many bytes came (recvmsg's result)
// and when the kernel received them, in CLOCK_REALTIME nanoseconds (the time of the
// call when the socket carries no stamp). A result of 0 or less is recvmsg's own, errno
// with it.
struct StampedRead {
  ssize_t got;
  std::int64_t arrival;
};

StampedRead ReceiveStamped(int fd, std::span<char> buffer);

}  // namespace brivane::bench
