#pragma once

#include <string_view>

namespace brivane {

// Sends one datagram to a local socket: a file path, or with a leading '@' a name in the
// abstract namespace. Connectionless and blocking-free; false when it did not leave.
bool SendUnixDatagram(std::string_view address, std::string_view payload);

}  // namespace brivane
