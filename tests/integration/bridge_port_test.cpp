// Port supervision of the real service: automatic detection, the revert of a missing
// configured port, a configured port held by another program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/bridge_service.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/pty_mate.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Paths that no machine has.
std::string Absent(int n) {
  return "/nonexistent-brivane-test/tty" + std::to_string(n);
}

// A full scan over four ports takes about 20 s; the patience covers a loaded machine.
constexpr std::chrono::milliseconds kScanPatience{60000};

TEST(BridgePort, AutomaticDetectionPassesASilentAndAMissingPortAndKeepsTheLiveOne) {
  PtyMate silent;
  ASSERT_TRUE(silent.Ready());
  MateSim live({"--devices", "0"});
  ASSERT_FALSE(live.Path().empty());

  const auto start = Clock::now();
  BridgeService service(
      0, {{1, silent.SlavePath()}, {2, Absent(2)}, {3, live.Path()}, {4, Absent(4)}});
  ASSERT_TRUE(service.Started());
  TcpClient client(service.Port());
  ASSERT_TRUE(client.Greeting(kPatience).has_value());

  EXPECT_TRUE(service.WaitForPortOpen(1, kPatience)) << "COM1 was not tried first";
  ASSERT_TRUE(service.WaitForPortOpen(3, kScanPatience)) << "the live COM3 was not found";
  const auto found = Clock::now() - start;
  EXPECT_LT(found, 20s) << "about 10 s expected";
  const auto record = client.Record(kPatience);
  ASSERT_TRUE(record.has_value()) << client.Unread();
  EXPECT_EQ(record->substr(0, 2), "0,");

  // The live port is held over several supervision periods.
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(client.Record(kPatience).has_value()) << client.Unread();
  }
  const auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[6], "0") << "automatic detection";
  EXPECT_EQ((*fields)[7], "3");
  EXPECT_EQ((*fields)[8], "True");
  EXPECT_THAT(service.Events(), IsEmpty()) << "silent and missing ports are passed silently";
}

TEST(BridgePort, AMissingConfiguredPortRevertsToAutomaticDetection) {
  MateSim live({"--devices", "A"});
  ASSERT_FALSE(live.Path().empty());
  BridgeService service(1, {{1, Absent(1)}, {2, live.Path()}, {3, Absent(3)}, {4, Absent(4)}});
  ASSERT_TRUE(service.Started());

  ASSERT_TRUE(service.WaitForEvents(1, kPatience));
  ASSERT_TRUE(service.WaitForPortOpen(2, kScanPatience)) << "automatic detection did not follow";
  TcpClient client(service.Port());
  ASSERT_TRUE(client.Greeting(kPatience).has_value());
  EXPECT_TRUE(client.Record(kPatience).has_value()) << client.Unread();
  const auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[6], "0") << "COMPort in memory";
  EXPECT_THAT(service.Events(),
              ElementsAre("error 109: tmrCheckCOM: Port 1 is an invalid port number. Reverting "
                          "to automatic detection. Err: 8002, Invalid port number"));
}

TEST(BridgePort, AConfiguredPortHeldByAnotherProgramIsLoggedEveryPeriodUntilReleased) {
  PtyMate mate;
  ASSERT_TRUE(mate.Ready());
  DeviceHolder holder(mate.SlavePath());
  ASSERT_TRUE(holder.Held());
  BridgeService service(1, {{1, mate.SlavePath()}});
  ASSERT_TRUE(service.Started());

  // When each entry appeared.
  std::vector<Clock::time_point> seen;
  ASSERT_TRUE(WaitFor(
      [&] {
        while (seen.size() < service.Events().size()) {
          seen.push_back(Clock::now());
        }
        return seen.size() >= 4;
      },
      kScanPatience, 5ms));
  for (std::size_t i = 1; i < seen.size(); ++i) {
    const auto gap = seen[i] - seen[i - 1];
    EXPECT_GT(gap, 1500ms) << "entry " << i;
    EXPECT_LT(gap, 7000ms) << "entry " << i;
  }
  const std::string held =
      "error 109: tmrCheckCOM: Port port 1 already opened by another application! Err: 8005, "
      "Port already open";
  EXPECT_THAT(service.Events(), ::testing::Each(held));
  const auto closed = service.Status(kPatience);
  ASSERT_TRUE(closed.has_value());
  EXPECT_EQ((*closed)[7], "1");
  EXPECT_EQ((*closed)[8], "False");

  holder.Release();
  ASSERT_TRUE(service.WaitForPortOpen(1, kPatience));
  const std::size_t entries = service.Events().size();
  TcpClient client(service.Port());
  ASSERT_TRUE(client.Greeting(kPatience).has_value());
  ASSERT_TRUE(mate.Write("\n0,opened\r"));
  EXPECT_EQ(client.Record(kPatience), "0,opened") << client.Unread();
  // Three more supervision periods without a word.
  EXPECT_FALSE(WaitFor([&] { return service.Events().size() > entries; }, 7500ms));
  EXPECT_THAT(service.Events(), ::testing::Each(held));
}

}  // namespace
}  // namespace brivane::testkit
