#include "bench/common/stamped_receive.h"

#include <sys/socket.h>

#include <cstring>
#include <ctime>

#include "bench/common/clock.h"

namespace brivane::bench {

StampedRead ReceiveStamped(int fd, std::span<char> buffer) {
  alignas(cmsghdr) char control[128];
  iovec part{buffer.data(), buffer.size()};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t got = recvmsg(fd, &message, 0);
  if (got <= 0) {
    return {got, 0};  // errno stays the call's own
  }
  std::int64_t arrival = Nanoseconds(CLOCK_REALTIME);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
      timespec stamp{};
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      arrival = static_cast<std::int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
    }
  }
  return {got, arrival};
}

}  // namespace brivane::bench
