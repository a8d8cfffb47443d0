#include "service/net/slot_table.h"

#include <utility>

namespace brivane {

std::optional<int> SlotTable::LowestFree() const {
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    if (!slots_[slot].inUse) {
      return slot;
    }
  }
  return std::nullopt;
}

bool SlotTable::InUse(int slot) const {
  return InRange(slot) && slots_[slot].inUse;
}

void SlotTable::Reserve(int slot, std::unique_ptr<TcpConnection> connection) {
  if (!InRange(slot)) {
    return;
  }
  slots_[slot].inUse = true;
  slots_[slot].connection = std::move(connection);
}

void SlotTable::Release(int slot) {
  if (!InRange(slot)) {
    return;
  }
  slots_[slot].inUse = false;
  if (slots_[slot].connection) {
    slots_[slot].connection->Close();
  }
}

void SlotTable::ReleaseAll() {
  for (TcpSlot& slot : slots_) {
    slot.inUse = false;
    slot.connection.reset();
  }
}

TcpConnection* SlotTable::ConnectionAt(int slot) const {
  return InRange(slot) ? slots_[slot].connection.get() : nullptr;
}

}  // namespace brivane
