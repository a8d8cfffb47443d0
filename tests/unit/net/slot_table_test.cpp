#include "service/net/slot_table.h"

#include <memory>

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

TEST(SlotTable, EachSlotKeepsItsConnectionAndReleasingClosesIt) {
  asio::io_context io;
  const auto open = [&io] {
    asio::ip::tcp::socket socket(io);
    socket.open(asio::ip::tcp::v4());
    return std::make_unique<TcpConnection>(std::move(socket), nullptr);
  };
  SlotTable slots;
  auto first = open();
  TcpConnection* held = first.get();
  slots.Reserve(2, std::move(first));
  EXPECT_EQ(slots.ConnectionAt(2), held);
  EXPECT_EQ(slots.ConnectionAt(1), nullptr);

  // A freed slot never keeps an open connection that nobody broadcasts to.
  slots.Release(2);
  EXPECT_FALSE(slots.InUse(2));
  EXPECT_FALSE(held->Connected());

  slots.Reserve(2, open());
  ASSERT_NE(slots.ConnectionAt(2), nullptr);
  EXPECT_TRUE(slots.ConnectionAt(2)->Connected());
  slots.ReleaseAll();
  EXPECT_FALSE(slots.InUse(2));
  EXPECT_EQ(slots.ConnectionAt(2), nullptr);
  EXPECT_EQ(slots.ConnectionAt(101), nullptr);
}

}  // namespace
}  // namespace brivane
