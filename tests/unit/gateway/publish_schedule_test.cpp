#include <gtest/gtest.h>

#include "gateway/mqtt/publish_schedule.h"

namespace brivane::gateway {
namespace {

using namespace std::chrono_literals;
using TimePoint = PublishSchedule::TimePoint;
using Devices = std::vector<std::string>;

TEST(PublishSchedule, FirstAtOnceThenOncePerIntervalWhileChanging) {
  PublishSchedule schedule(10s, 60s);
  const TimePoint t{};
  EXPECT_TRUE(schedule.OnState("fx_0", "a", t));
  EXPECT_FALSE(schedule.OnState("fx_0", "a", t + 1s));
  EXPECT_FALSE(schedule.OnState("fx_0", "b", t + 2s));
  EXPECT_FALSE(schedule.OnState("fx_0", "c", t + 3s));
  // The latest change goes out when the interval is over, not the first one.
  EXPECT_EQ(schedule.NextDue(), t + 10s);
  EXPECT_EQ(schedule.Due(t + 9s), Devices{});
  EXPECT_EQ(schedule.Due(t + 10s), Devices{"fx_0"});
  EXPECT_EQ(schedule.NextDue(), t + 70s);
  // A change after a quiet interval goes at once.
  EXPECT_TRUE(schedule.OnState("fx_0", "d", t + 25s));
  // Changed and changed back before the interval ends: nothing is waiting.
  EXPECT_FALSE(schedule.OnState("fx_0", "e", t + 26s));
  EXPECT_FALSE(schedule.OnState("fx_0", "d", t + 27s));
  EXPECT_EQ(schedule.NextDue(), t + 85s);
}

TEST(PublishSchedule, UnchangedStateRefreshedEveryMinuteWhileTheDeviceSends) {
  PublishSchedule schedule(10s, 60s);
  const TimePoint t{};
  EXPECT_TRUE(schedule.OnState("mx_1", "a", t));
  for (int second = 1; second < 60; ++second) {
    EXPECT_FALSE(schedule.OnState("mx_1", "a", t + std::chrono::seconds(second)));
  }
  EXPECT_TRUE(schedule.OnState("mx_1", "a", t + 60s));
  EXPECT_EQ(schedule.Due(t + 119s), Devices{});
  EXPECT_EQ(schedule.Due(t + 120s), Devices{"mx_1"});
  // A silent device is not refreshed until it sends again.
  schedule.SetQuiet("mx_1");
  EXPECT_FALSE(schedule.NextDue());
  EXPECT_FALSE(schedule.OnState("mx_1", "a", t + 130s));
  EXPECT_EQ(schedule.NextDue(), t + 180s);
  // Sent again after a reconnect: the minute starts afresh.
  schedule.Published("mx_1", t + 150s);
  EXPECT_EQ(schedule.NextDue(), t + 210s);
}

TEST(PublishSchedule, ZeroIntervalSendsEveryPage) {
  PublishSchedule schedule(0s, 60s);
  const TimePoint t{};
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(schedule.OnState("fndc_1", "same", t + std::chrono::milliseconds(i)));
  }
  EXPECT_TRUE(schedule.OnState("fx_0", "x", t));
}

}  // namespace
}  // namespace brivane::gateway
