#pragma once

#include <array>
#include <memory>
#include <optional>

#include "service/net/tcp_connection.h"

namespace brivane {

// One client slot: ConnectionInUse and the connection that holds the slot.
struct TcpSlot {
  bool inUse = false;
  // May outlive the reservation, closed, until the slot's next occupant replaces it:
  // a connection is never destroyed from inside its own ending report.
  std::unique_ptr<TcpConnection> connection;
};

// The client slots 1..100. A slot is given out lowest-index-first, never round robin,
// so a freed low slot is reused before any other.
class SlotTable {
 public:
  static constexpr int kFirstSlot = 1;
  static constexpr int kLastSlot = 100;

  // The lowest free slot, or nothing when all 100 are reserved.
  std::optional<int> LowestFree() const;
  bool InUse(int slot) const;
  // Reserves the slot for connection; what an earlier occupant left goes.
  void Reserve(int slot, std::unique_ptr<TcpConnection> connection = nullptr);
  // Frees the slot and closes its connection.
  void Release(int slot);
  // Every connection closed and gone, every slot free.
  void ReleaseAll();
  // The slot's connection, open or not; nullptr when it has none or is out of range.
  TcpConnection* ConnectionAt(int slot) const;

 private:
  static bool InRange(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }

  std::array<TcpSlot, kLastSlot + 1> slots_{};  // entry 0 is the listener's and never used
};

}  // namespace brivane
