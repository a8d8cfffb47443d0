#include "service/host/unix_datagram.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "common/unique_fd.h"

namespace brivane {

bool SendUnixDatagram(std::string_view address, std::string_view payload) {
  sockaddr_un target{};
  target.sun_family = AF_UNIX;
  if (address.empty() || address.size() >= sizeof target.sun_path) {
    return false;
  }
  std::memcpy(target.sun_path, address.data(), address.size());
  socklen_t length = sizeof target.sun_family + address.size();
  if (address.front() == '@') {
    target.sun_path[0] = '\0';  // abstract: the name is exactly the bytes that follow
  } else {
    length += 1;  // the path's terminating zero
  }

  const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) {
    return false;
  }
  const ssize_t sent = sendto(fd.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&target), length);
  return sent == static_cast<ssize_t>(payload.size());
}

}  // namespace brivane
