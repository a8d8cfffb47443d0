#pragma once

#include <string_view>

namespace brivane {

// Tells the service manager about a change of state ("READY=1", "STOPPING=1") on the
// socket it left in NOTIFY_SOCKET. False, and harmless, outside systemd.
bool NotifyServiceManager(std::string_view state);

}  // namespace brivane
