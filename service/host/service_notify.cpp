#include "service/host/service_notify.h"

#include <cstdlib>

#include "service/host/unix_datagram.h"

namespace brivane {

// The notification protocol is one datagram of newline-separated assignments; writing it
// here keeps the running service free of the systemd client library and all it loads.
bool NotifyServiceManager(std::string_view state) {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  if (socket == nullptr || *socket == '\0') {
    return false;
  }
  return SendUnixDatagram(socket, state);
}

}  // namespace brivane
