#pragma once

#include <array>
#include <optional>

namespace brivane {

// ConnectionInUse: which of the client slots 1..100 are reserved. A slot is given out
// lowest-index-first, never round robin, so a freed low slot is reused before any other.
class SlotTable {
 public:
  static constexpr int kFirstSlot = 1;
  static constexpr int kLastSlot = 100;

  // The lowest free slot, or nothing when all 100 are reserved.
  std::optional<int> LowestFree() const;
  bool InUse(int slot) const;
  void Reserve(int slot);
  void Release(int slot);
  void ReleaseAll();

 private:
  static bool InRange(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }

  std::array<bool, kLastSlot + 1> inUse_{};  // entry 0 is the listener's and never used
};

}  // namespace brivane
