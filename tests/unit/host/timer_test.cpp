#include "service/host/timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "tests/support/wait_for.h"

namespace brivane {
namespace {

using std::chrono::milliseconds;

// A clock that moves only when the test moves it.
struct ManualClock {
  using rep = std::int64_t;
  using period = std::nano;
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<ManualClock>;
  [[maybe_unused]] static constexpr bool is_steady = true;

  static time_point now() { return time_point(duration(Ticks().load())); }
  static void Advance(milliseconds step) { Ticks() += duration(step).count(); }
  static std::atomic<rep>& Ticks() {
    static std::atomic<rep> ticks{0};
    return ticks;
  }
};

// The loop looks at the manual clock again at least every millisecond of real time.
struct ManualWaitTraits {
  static ManualClock::duration to_wait_duration(const ManualClock::duration& d) {
    return std::clamp<ManualClock::duration>(d, ManualClock::duration::zero(), milliseconds(1));
  }
  static ManualClock::duration to_wait_duration(const ManualClock::time_point& t) {
    return to_wait_duration(t - ManualClock::now());
  }
};

using ManualTimer = BasicTimer<ManualClock, ManualWaitTraits>;

class TimerTest : public ::testing::Test {
 protected:
  // Runs the loop until condition holds (true) or a generous real time-out passes.
  bool RunUntil(const std::function<bool()>& condition) {
    return testkit::WaitFor(condition, testkit::kPatience, milliseconds(2),
                            [this](milliseconds slice) {
                              io.restart();
                              io.run_for(slice);
                            });
  }
  // Gives a wrongly due tick ample real time to show itself.
  void Settle() {
    io.restart();
    io.run_for(milliseconds(30));
  }
  // Moves the clock and lets everything due run.
  void AdvanceAndSettle(milliseconds step) {
    ManualClock::Advance(step);
    Settle();
  }

  asio::io_context io;
  int ticks = 0;
};

TEST_F(TimerTest, TicksOnlyWhileEnabledEveryInterval) {
  ManualTimer timer(io, milliseconds(250));
  timer.OnTick([this] { ++ticks; });
  EXPECT_FALSE(timer.Enabled());
  AdvanceAndSettle(milliseconds(10000));
  EXPECT_EQ(ticks, 0) << "a disabled timer ticked";

  timer.SetEnabled(true);
  AdvanceAndSettle(milliseconds(249));
  EXPECT_EQ(ticks, 0);
  ManualClock::Advance(milliseconds(1));
  ASSERT_TRUE(RunUntil([this] { return ticks == 1; }));
  ManualClock::Advance(milliseconds(250));
  ASSERT_TRUE(RunUntil([this] { return ticks == 2; }));
  ManualClock::Advance(milliseconds(250));
  ASSERT_TRUE(RunUntil([this] { return ticks == 3; }));

  timer.SetEnabled(false);
  AdvanceAndSettle(milliseconds(1000));
  EXPECT_EQ(ticks, 3) << "ticked after being disabled";

  // Enabling again counts a whole interval from then.
  timer.SetEnabled(true);
  AdvanceAndSettle(milliseconds(200));
  EXPECT_EQ(ticks, 3);
  ManualClock::Advance(milliseconds(50));
  ASSERT_TRUE(RunUntil([this] { return ticks == 4; }));
}

TEST_F(TimerTest, ChangingTheIntervalWhileEnabledRestartsTheCountdown) {
  ManualTimer timer(io, milliseconds(250));
  timer.OnTick([this] { ++ticks; });
  timer.SetEnabled(true);
  AdvanceAndSettle(milliseconds(200));
  timer.SetInterval(milliseconds(250));
  AdvanceAndSettle(milliseconds(200));
  EXPECT_EQ(ticks, 0) << "the old countdown went on";
  ManualClock::Advance(milliseconds(50));
  ASSERT_TRUE(RunUntil([this] { return ticks == 1; }));

  // Setting the interval of a disabled timer does not start it.
  timer.SetEnabled(false);
  timer.SetInterval(milliseconds(100));
  EXPECT_FALSE(timer.Enabled());
  AdvanceAndSettle(milliseconds(1000));
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(true);
  ManualClock::Advance(milliseconds(100));
  ASSERT_TRUE(RunUntil([this] { return ticks == 2; }));
}

TEST_F(TimerTest, TheTickHandlerMayChangeItsOwnTimer) {
  // As the port supervision does: a short first wait, then a longer interval.
  ManualTimer slow(io, milliseconds(250));
  int slowTicks = 0;
  slow.OnTick([&] {
    ++slowTicks;
    slow.SetInterval(milliseconds(2500));
  });
  ManualTimer once(io, milliseconds(100));
  once.OnTick([&] {
    ++ticks;
    once.SetEnabled(false);
  });
  slow.SetEnabled(true);
  once.SetEnabled(true);

  ManualClock::Advance(milliseconds(250));
  ASSERT_TRUE(RunUntil([&] { return slowTicks == 1 && ticks == 1; }));
  AdvanceAndSettle(milliseconds(2499));
  EXPECT_EQ(slowTicks, 1) << "the new interval did not count from the tick";
  EXPECT_EQ(ticks, 1) << "a timer disabled in its own tick ticked again";
  ManualClock::Advance(milliseconds(1));
  ASSERT_TRUE(RunUntil([&] { return slowTicks == 2; }));
}

TEST_F(TimerTest, ALateTickBringsNoBurstAndZeroIntervalNeverTicks) {
  ManualTimer timer(io, milliseconds(250));
  timer.OnTick([this] { ++ticks; });
  timer.SetEnabled(true);
  ManualClock::Advance(milliseconds(1000));
  ASSERT_TRUE(RunUntil([this] { return ticks == 1; }));
  Settle();
  EXPECT_EQ(ticks, 1) << "missed ticks were caught up";
  ManualClock::Advance(milliseconds(250));
  ASSERT_TRUE(RunUntil([this] { return ticks == 2; }));

  ManualTimer idle(io, milliseconds(0));
  int idleTicks = 0;
  idle.OnTick([&] { ++idleTicks; });
  idle.SetEnabled(true);
  AdvanceAndSettle(milliseconds(1000));
  EXPECT_EQ(idleTicks, 0);
}

TEST_F(TimerTest, ATimerGoneBeforeItsDueTickIsHandledLeavesNothingBehind) {
  auto timer = std::make_unique<ManualTimer>(io, milliseconds(250));
  timer->OnTick([this] { ++ticks; });
  timer->SetEnabled(true);
  ManualClock::Advance(milliseconds(500));
  timer.reset();
  Settle();
  EXPECT_EQ(ticks, 0);
}

TEST(SteadyTimer, TicksRepeatedlyOnARealLoop) {
  asio::io_context io;
  Timer timer(io, milliseconds(5));
  int ticks = 0;
  timer.OnTick([&] {
    if (++ticks == 3) {
      timer.SetEnabled(false);
    }
  });
  timer.SetEnabled(true);
  io.run_for(std::chrono::seconds(10));
  EXPECT_EQ(ticks, 3);
}

}  // namespace
}  // namespace brivane
