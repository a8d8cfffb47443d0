#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace brivane {

// LastDiscoveryAddress and LastDiscoveryTime: a sender that repeats the discovery
// request is answered again only after more than one whole second of quiet. Only one
// sender is remembered, so two senders in alternation are always answered.
class DiscoveryMemory {
 public:
  // Notes the request and says whether it is to be answered.
  bool Admit(const std::string& senderAddress, std::int64_t now);

 private:
  std::string lastAddress_;
  std::optional<std::int64_t> lastTime_;
};

}  // namespace brivane
