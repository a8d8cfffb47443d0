#pragma once

#include <string>

namespace brivane::testkit {

// Moves the calling thread into a network namespace of its own with its loopback up,
// and sets that namespace's TCP send buffer sizes (net.ipv4.tcp_wmem, "min default
// max"). Processes the thread starts afterwards share the namespace; the rest of the
// test process and the machine are untouched. Needs CAP_SYS_ADMIN; false with the
// reason in why when it cannot be done.
bool EnterPrivateNetwork(const std::string& tcpSendBuffers, std::string& why);

}  // namespace brivane::testkit
