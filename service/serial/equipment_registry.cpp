#include "service/serial/equipment_registry.h"

#include <algorithm>

namespace brivane {

namespace {

void AddIfNew(std::array<char, EquipmentRegistry::kSlots>& slots, std::int32_t& count, char c) {
  const auto used = slots.begin() + count;
  if (std::find(slots.begin(), used, c) != used) {
    return;
  }
  // The address ranges hold at most 10 and 11 characters, so a slot is always free.
  if (count < static_cast<std::int32_t>(slots.size())) {
    slots[count++] = c;
  }
}

}  // namespace

void EquipmentRegistry::Register(char c) {
  if (c >= '0' && c <= '9') {
    AddIfNew(FXAddresses_, FXCount_, c);
  } else if (c >= 'A' && c <= 'K') {
    AddIfNew(MXAddresses_, MXCount_, c);
  } else if (c >= 'a' && c <= 'j') {
    FNDCDetected_ = true;
  }
}

}  // namespace brivane
