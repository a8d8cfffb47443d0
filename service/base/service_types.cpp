#include "service/base/service_types.h"

#include <chrono>
#include <cstring>

namespace brivane {

std::int64_t SystemClockSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

NumberedError SystemError(int errorNumber) {
  return {errorNumber, std::strerror(errorNumber)};
}

}  // namespace brivane
