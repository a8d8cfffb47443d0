#include "service/net/slot_table.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

TEST(SlotTable, GivesTheLowestFreeSlotAndNoneWhenAllHundredAreTaken) {
  SlotTable slots;
  EXPECT_EQ(slots.LowestFree(), 1);
  for (int slot = 1; slot <= 100; ++slot) {
    ASSERT_EQ(slots.LowestFree(), slot);
    slots.Reserve(slot);
  }
  EXPECT_EQ(slots.LowestFree(), std::nullopt);

  // A freed low slot wins over every higher one, however many are free.
  slots.Release(70);
  slots.Release(3);
  EXPECT_EQ(slots.LowestFree(), 3);
  slots.Reserve(3);
  EXPECT_EQ(slots.LowestFree(), 70);

  slots.ReleaseAll();
  EXPECT_EQ(slots.LowestFree(), 1);
  EXPECT_FALSE(slots.InUse(100));
}

TEST(SlotTable, IgnoresIndexesOutsideOneToHundred) {
  SlotTable slots;
  slots.Reserve(0);
  slots.Reserve(101);
  slots.Reserve(-1);
  EXPECT_FALSE(slots.InUse(0));
  EXPECT_FALSE(slots.InUse(101));
  EXPECT_EQ(slots.LowestFree(), 1);
  slots.Reserve(1);
  slots.Release(0);
  EXPECT_TRUE(slots.InUse(1));
}

}  // namespace
}  // namespace brivane
