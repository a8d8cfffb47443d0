#include "service/net/pending_requests.h"

#include <utility>

namespace brivane {

bool PendingRequests::Add(PendingRequest request) {
  for (auto& entry : entries_) {
    if (!entry) {
      entry = std::move(request);
      return true;
    }
  }
  return false;
}

std::vector<PendingRequest> PendingRequests::TakeAll() {
  std::vector<PendingRequest> taken;
  for (auto& entry : entries_) {
    if (entry) {
      taken.push_back(std::move(*entry));
      entry.reset();
    }
  }
  return taken;
}

std::size_t PendingRequests::Count() const {
  std::size_t count = 0;
  for (const auto& entry : entries_) {
    count += entry ? 1 : 0;
  }
  return count;
}

}  // namespace brivane
