#include "service/net/slot_table.h"

namespace brivane {

std::optional<int> SlotTable::LowestFree() const {
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    if (!inUse_[slot]) {
      return slot;
    }
  }
  return std::nullopt;
}

bool SlotTable::InUse(int slot) const {
  return InRange(slot) && inUse_[slot];
}

void SlotTable::Reserve(int slot) {
  if (InRange(slot)) {
    inUse_[slot] = true;
  }
}

void SlotTable::Release(int slot) {
  if (InRange(slot)) {
    inUse_[slot] = false;
  }
}

void SlotTable::ReleaseAll() {
  inUse_.fill(false);
}

}  // namespace brivane
