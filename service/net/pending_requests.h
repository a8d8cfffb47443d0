#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brivane {

enum class RequestKind {
  Discovery,  // "tcp"
  Status,     // "svc"
};

// One query waiting for the next reply step.
struct PendingRequest {
  RequestKind kind = RequestKind::Status;
  std::string senderAddress;  // dotted decimal
  std::uint16_t senderPort = 0;
  std::string localAddress;  // where the request arrived; empty when not known
};

// PendingRequests: four places filled first-free between two buffer-timer ticks; a
// request that finds all four taken is dropped.
class PendingRequests {
 public:
  static constexpr std::size_t kSize = 4;

  // False when the request was dropped because the queue is full.
  bool Add(PendingRequest request);
  // Every waiting request in place order; the queue is empty afterwards.
  std::vector<PendingRequest> TakeAll();
  std::size_t Count() const;

 private:
  std::array<std::optional<PendingRequest>, kSize> entries_{};
};

}  // namespace brivane
