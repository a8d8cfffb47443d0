#include "service/serial/serial_link_types.h"

#include <chrono>

namespace brivane {

std::int64_t SystemClockSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace brivane
