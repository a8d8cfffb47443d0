#pragma once

#include <optional>
#include <string>

// The errors the serial control reports, by number and text, as the port
// supervision expects them.
namespace brivane {

struct CommError {
  int number;
  std::string description;
};

inline constexpr int kInvalidPortNumber = 8002;
inline constexpr int kPortAlreadyOpen = 8005;

inline constexpr const char* kInvalidPortNumberText = "Invalid port number";
inline constexpr const char* kPortAlreadyOpenText = "Port already open";

CommError InvalidPortNumberError();
CommError PortAlreadyOpenError();

// Any other failure: the errno value and its strerror text.
CommError SystemError(int errorNumber);

}  // namespace brivane
