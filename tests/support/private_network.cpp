#include "tests/support/private_network.h"

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "common/unique_fd.h"

namespace brivane::testkit {

bool EnterPrivateNetwork(const std::string& tcpSendBuffers, std::string& why) {
  if (::unshare(CLONE_NEWNET) != 0) {
    why = std::string("no network namespace of our own: ") + std::strerror(errno);
    return false;
  }
  const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  const bool up = fd && ::ioctl(fd.get(), SIOCGIFFLAGS, &request) == 0 &&
                  (request.ifr_flags |= IFF_UP, ::ioctl(fd.get(), SIOCSIFFLAGS, &request) == 0);
  const int upError = errno;
  if (!up) {
    why = std::string("loopback stays down: ") + std::strerror(upError);
    return false;
  }
  // /proc/sys/net shows the namespace of the thread that opens it.
  std::ofstream sysctl("/proc/sys/net/ipv4/tcp_wmem");
  sysctl << tcpSendBuffers << "\n";
  sysctl.close();
  if (!sysctl) {
    why = "cannot set net.ipv4.tcp_wmem in the namespace";
    return false;
  }
  return true;
}

}  // namespace brivane::testkit
