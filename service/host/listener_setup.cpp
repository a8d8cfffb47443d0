#include "service/host/listener_setup.h"

namespace brivane {

ListenerAddress ChooseListenerAddress(const std::string& IPAddress,
                                      const LocalAddressCheck& isLocal) {
  if (IPAddress.empty()) {
    return {};
  }
  if (isLocal(IPAddress)) {
    return {IPAddress, false};
  }
  return {"", true};
}

std::string NotAssignedText(std::string_view protocol) {
  return "The IP address specified in the INI file is not assigned to this machine. Binding " +
         std::string(protocol) + " listener to all available IP addresses instead.";
}

std::string SetupFailureText(std::string_view protocol, int number, std::string_view description) {
  return "oService_Start: Error setting up " + std::string(protocol) +
         " bind: " + std::to_string(number) + ", " + std::string(description);
}

}  // namespace brivane
