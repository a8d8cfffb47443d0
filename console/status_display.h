#pragma once

#include <optional>
#include <string>
#include <string_view>

// What a status reply of the service puts into the console's window.
namespace brivane {

struct StatusDisplay {
  std::string comPort;         // "COM3", or "Auto (3)" while the port is found automatically
  std::string listeningPort;   // as received
  std::string tcpConnections;  // as received
  bool inverterSeen = false;
  bool mxSeen = false;
  bool fndcSeen = false;
  std::string versionPanel;  // "Brivane Pro v1.0.0 "
};

// The display of a status reply, or nothing for any other datagram, including a reply
// whose equipment counts or configured port are not numbers.
std::optional<StatusDisplay> ReadStatusDisplay(std::string_view datagram);

}  // namespace brivane
