#pragma once

#include <functional>
#include <string>
#include <string_view>

// Where the UDP and TCP listeners bind, and the event texts of their set-up.
namespace brivane {

struct ListenerAddress {
  std::string address;       // empty: all local addresses
  bool notAssigned = false;  // the configured address is foreign: say so, bind to all
};

using LocalAddressCheck = std::function<bool(std::string_view)>;

// An empty IPAddress binds to all addresses, one of this machine's binds to itself, a
// foreign one falls back to all addresses.
ListenerAddress ChooseListenerAddress(const std::string& IPAddress,
                                      const LocalAddressCheck& isLocal);

// protocol is "UDP" or "TCP".
std::string NotAssignedText(std::string_view protocol);
std::string SetupFailureText(std::string_view protocol, int number, std::string_view description);

}  // namespace brivane
