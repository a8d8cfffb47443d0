#include "service/net/discovery_memory.h"

namespace brivane {

bool DiscoveryMemory::Admit(const std::string& senderAddress, std::int64_t now) {
  if (senderAddress != lastAddress_) {
    lastAddress_ = senderAddress;
    lastTime_ = now;
    return true;
  }
  if (!lastTime_) {
    return true;
  }
  // Negative when the clock was set back; renewed on every request, so a sender that
  // keeps repeating fast stays unanswered until it pauses.
  const std::int64_t elapsed = now - *lastTime_;
  lastTime_ = now;
  return elapsed > 1;
}

}  // namespace brivane
