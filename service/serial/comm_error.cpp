#include "service/serial/comm_error.h"

#include <cstring>

namespace brivane {

CommError InvalidPortNumberError() {
  return {kInvalidPortNumber, kInvalidPortNumberText};
}

CommError PortAlreadyOpenError() {
  return {kPortAlreadyOpen, kPortAlreadyOpenText};
}

CommError SystemError(int errorNumber) {
  return {errorNumber, std::strerror(errorNumber)};
}

}  // namespace brivane
