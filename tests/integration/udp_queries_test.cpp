// Discovery and status queries against the real service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "common/udp_wire.h"
#include "tests/support/bridge_service.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/tcp_client.h"
#include "tests/support/udp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::ElementsAre;
using namespace std::chrono_literals;

std::string Absent(int n) {
  return "/nonexistent-brivane-test/tty" + std::to_string(n);
}

// A service with no serial device to find: the queries alone.
std::map<int, std::string> NoDevices() {
  return {{1, Absent(1)}, {2, Absent(2)}, {3, Absent(3)}, {4, Absent(4)}};
}

TEST(UdpQueries, StatusReplyReportsTheLiveServiceFieldByField) {
  // Held back until the clients are connected, so that no record comes before them.
  MateSim sim({"--devices", "0,1,A,a"});
  ASSERT_FALSE(sim.Path().empty());
  ASSERT_TRUE(sim.TogglePause());
  BridgeService service(1, {{1, sim.Path()}});
  ASSERT_TRUE(service.Started());
  ASSERT_TRUE(service.WaitForPortOpen(1, kPatience));

  UdpClient console;
  ASSERT_TRUE(console.SendTo(service.Port(), "SvcCon"));
  const auto reply = console.Receive(kPatience);
  ASSERT_TRUE(reply.has_value());
  EXPECT_EQ(reply->front(), '\n');
  EXPECT_EQ(reply->back(), '\r');
  const std::string port = std::to_string(service.Port());
  EXPECT_EQ(*reply, "\nSVCL1.0.0,127.0.0.1," + port + ",0,0,0,1,1,True,0\r");

  std::vector<std::unique_ptr<TcpClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TcpClient>(service.Port()));
    ASSERT_TRUE(clients.back()->Greeting(kPatience).has_value());
  }
  auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[9], "0") << "clients are counted only by a broadcast";

  ASSERT_TRUE(sim.TogglePause());
  for (auto& client : clients) {
    ASSERT_TRUE(client->Record(kPatience).has_value()) << client->Unread();
  }
  fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[9], "3");

  // FX 0 and 1, MX A, a FLEXnet DC: once a page of each has come.
  EXPECT_TRUE(service.WaitForStatus(
      [](const std::vector<std::string>& f) { return f[3] == "2" && f[4] == "1" && f[5] == "1"; },
      kPatience));
  fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_THAT(*fields,
              ElementsAre("SVCL1.0.0", "127.0.0.1", port, "2", "1", "1", "1", "1", "True", "3"));
}

TEST(UdpQueries, OnlyExactKeywordsAreAnswered) {
  BridgeService service(0, NoDevices());
  ASSERT_TRUE(service.Started());

  UdpClient stranger;
  for (const char* payload : {"svccon", "SVCCON", "SvcCon\r\n", "", "SvcCon ", "\nSvcCon",
                              "orvatcp", "OrvaTCP\r\n", "ORVATCP"}) {
    ASSERT_TRUE(stranger.SendTo(service.Port(), payload)) << payload;
  }
  UdpClient console;
  ASSERT_TRUE(console.SendTo(service.Port(), "SvcCon"));
  const auto reply = console.Receive(kPatience);
  ASSERT_TRUE(reply.has_value());
  EXPECT_TRUE(ParseStatusReply(*reply).has_value()) << *reply;
  // Any reply to the stranger would have been sent before the console's, or at the
  // latest by the next ticks.
  ASSERT_TRUE(service.WaitForTicks(kPatience));
  const auto stray = stranger.Receive(0ms);
  EXPECT_FALSE(stray.has_value()) << *stray;
}

std::int64_t WholeSecondsNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

TEST(UdpQueries, RepeatedDiscoveryFromOneAddressIsAnsweredOnlyAfterAPause) {
  BridgeService service(0, NoDevices());
  ASSERT_TRUE(service.Started());
  const std::string discovery =
      "\nTCP1.0.0,127.0.0.1," + std::to_string(service.Port()) + ",0,0,0\r";

  UdpClient client;
  ASSERT_TRUE(client.SendTo(service.Port(), "OrvaTCP"));
  ASSERT_TRUE(client.SendTo(service.Port(), "OrvaTCP"));
  // The status request is read after both, so its reply comes after any to them.
  ASSERT_TRUE(client.SendTo(service.Port(), "SvcCon"));
  EXPECT_EQ(client.Receive(kPatience), discovery);
  const auto next = client.Receive(kPatience);
  ASSERT_TRUE(next.has_value());
  EXPECT_TRUE(ParseStatusReply(*next).has_value()) << "second discovery answered: " << *next;

  // The second request was stamped no later than now: wait until two whole seconds more.
  const std::int64_t stamped = WholeSecondsNow();
  ASSERT_TRUE(WaitFor([&] { return WholeSecondsNow() >= stamped + 2; }, kPatience));
  ASSERT_TRUE(client.SendTo(service.Port(), "OrvaTCP"));
  EXPECT_EQ(client.Receive(kPatience), discovery);
  ASSERT_TRUE(service.WaitForTicks(kPatience));
  EXPECT_FALSE(client.Receive(0ms).has_value());
}

TEST(UdpQueries, FiveStatusRequestsInOneIntervalGetFourReplies) {
  BridgeService service(0, NoDevices());
  ASSERT_TRUE(service.Started());

  // Sent back to back just after a tick, the five fall in one interval; should the
  // machine stall past the next tick, they straddle two and all five are answered
  // rightly, so the round is tried again.
  bool oneInterval = false;
  for (int attempt = 0; attempt < 5 && !oneInterval; ++attempt) {
    UdpClient pacer;
    std::vector<std::unique_ptr<UdpClient>> senders;
    for (int i = 0; i < 5; ++i) {
      senders.push_back(std::make_unique<UdpClient>());
    }
    ASSERT_TRUE(pacer.SendTo(service.Port(), "SvcCon"));
    ASSERT_TRUE(pacer.Receive(kPatience).has_value());
    for (auto& sender : senders) {
      ASSERT_TRUE(sender->SendTo(service.Port(), "SvcCon"));
    }
    for (int i = 0; i < 4; ++i) {
      ASSERT_TRUE(senders[i]->Receive(kPatience).has_value()) << "request " << i + 1;
    }
    ASSERT_TRUE(service.WaitForTicks(kPatience));
    oneInterval = !senders[4]->Receive(0ms).has_value();
  }
  EXPECT_TRUE(oneInterval) << "the fifth request of an interval was answered every time";
}

}  // namespace
}  // namespace brivane::testkit
