#include "service/serial/comm_error.h"

namespace brivane {

CommError InvalidPortNumberError() {
  return {kInvalidPortNumber, kInvalidPortNumberText};
}

CommError PortAlreadyOpenError() {
  return {kPortAlreadyOpen, kPortAlreadyOpenText};
}

}  // namespace brivane
