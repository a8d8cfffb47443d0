#include "service/host/delay.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

TEST(DelayTest, AcceptsWhatFitsSixteenBitMilliseconds) {
  EXPECT_EQ(DelayMilliseconds(0), 0);
  EXPECT_EQ(DelayMilliseconds(2), 2000);
  EXPECT_EQ(DelayMilliseconds(5), 5000);
  EXPECT_EQ(DelayMilliseconds(32), 32000);
  EXPECT_EQ(DelayMilliseconds(33), std::nullopt);
  EXPECT_EQ(DelayMilliseconds(-1), std::nullopt);
  EXPECT_EQ(DelayMilliseconds(32767), std::nullopt);
  EXPECT_EQ(DelayMilliseconds(-32768), std::nullopt);

  // Out of range does not wait at all.
  EXPECT_FALSE(Delay(33));
  EXPECT_FALSE(Delay(-5));
  EXPECT_TRUE(Delay(0));
}

}  // namespace
}  // namespace brivane
