#pragma once

#include "service/base/service_types.h"

// The errors the serial control reports. The port supervision passes over 8002 and
// 8005 silently and logs the rest.
namespace brivane {

using CommError = NumberedError;

inline constexpr int kInvalidPortNumber = 8002;
inline constexpr int kPortAlreadyOpen = 8005;

inline constexpr const char* kInvalidPortNumberText = "Invalid port number";
inline constexpr const char* kPortAlreadyOpenText = "Port already open";

CommError InvalidPortNumberError();
CommError PortAlreadyOpenError();

}  // namespace brivane
