#include "service/net/discovery_memory.h"

#include <gtest/gtest.h>

#include "service/base/service_types.h"

namespace brivane {
namespace {

constexpr std::int64_t kNoon = 1'780'000'000;

TEST(DiscoveryMemory, AnswersOneSenderAgainOnlyAfterMoreThanASecondOfQuiet) {
  DiscoveryMemory memory;
  EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon));
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon));      // same second
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon + 1));  // one second is not enough
  EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon + 3));   // counted from the last request
  // A sender that keeps repeating every second is never answered again.
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon + 4));
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon + 5));
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon + 6));
  EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon + 11));  // a pause of five seconds
}

TEST(DiscoveryMemory, RemembersOnlyOneSenderSoAlternatingSendersAreAllAnswered) {
  DiscoveryMemory memory;
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon));
    EXPECT_TRUE(memory.Admit("10.0.0.8", kNoon));
  }
}

TEST(DiscoveryMemory, AClockSetBackSuppressesUntilItHasMovedOnAgain) {
  DiscoveryMemory memory;
  EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon));
  // Negative elapsed time counts as "one second or less".
  EXPECT_FALSE(memory.Admit("10.0.0.7", kNoon - 3600));
  EXPECT_TRUE(memory.Admit("10.0.0.7", kNoon - 3598));
}

TEST(DiscoveryMemory, SystemClockReadsWholeUtcSeconds) {
  const std::int64_t before = SystemClockSeconds();
  EXPECT_GT(before, 1'600'000'000);  // after 2020: seconds, not milliseconds or ticks
  EXPECT_LT(before, 100'000'000'000);
  EXPECT_GE(SystemClockSeconds(), before);
}

}  // namespace
}  // namespace brivane
