// The hundred connection slots of the real service, seen from loopback clients.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/bridge_service.h"
#include "tests/support/pty_mate.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::Each;
using ::testing::Eq;

const std::string kRefused =
    "warning 109: Could not accept TCP connection from 127.0.0.1. Too many connections!";

bool Greeted(TcpClient& client) {
  return client.Connected() && client.Greeting(kPatience).has_value();
}

TEST(BridgeClients, AHundredClientsAreServedTheNextIsRefusedAndSlotsComeBack) {
  PtyMate mate;
  ASSERT_TRUE(mate.Ready());
  BridgeService service(1, {{1, mate.SlavePath()}});
  ASSERT_TRUE(service.Started());
  ASSERT_TRUE(service.WaitForPortOpen(1, kPatience));

  std::vector<std::unique_ptr<TcpClient>> clients;
  for (int i = 0; i < 100; ++i) {
    clients.push_back(std::make_unique<TcpClient>(service.Port()));
    ASSERT_TRUE(Greeted(*clients.back())) << "client " << i + 1;
  }

  // The 101st: closed without a greeting, one warning naming it.
  {
    TcpClient extra(service.Port());
    EXPECT_TRUE(extra.WaitForClose(kPatience));
    EXPECT_FALSE(extra.Greeting(std::chrono::milliseconds(0)).has_value());
    ASSERT_TRUE(service.WaitForEvents(1, kPatience));
    EXPECT_THAT(service.Events(), Each(Eq(kRefused)));
  }

  // A lone end-of-text closes its sender, but the slot stays taken until a broadcast.
  ASSERT_TRUE(clients[0]->Send("\x03"));
  ASSERT_TRUE(clients[0]->WaitForClose(kPatience));
  {
    TcpClient extra(service.Port());
    EXPECT_TRUE(extra.WaitForClose(kPatience)) << "a stale slot was given away";
    ASSERT_TRUE(service.WaitForEvents(2, kPatience));
  }

  // A client that leaves cleanly frees its slot at once.
  clients[2].reset();
  ASSERT_TRUE(service.WaitForTicks(kPatience));
  auto newcomer = std::make_unique<TcpClient>(service.Port());
  ASSERT_TRUE(Greeted(*newcomer)) << "the cleanly freed slot was not given to the next client";

  // The broadcast reaches everyone still there and frees the stale slot.
  ASSERT_TRUE(mate.Write("\n4,to all\r"));
  clients[0].reset();
  clients[2] = std::move(newcomer);
  for (std::size_t i = 1; i < clients.size(); ++i) {
    ASSERT_EQ(clients[i]->Record(kPatience), "4,to all") << "client " << i + 1;
  }
  const auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[9], "99");

  TcpClient last(service.Port());
  EXPECT_TRUE(Greeted(last)) << "the slot freed by the broadcast was not given out";
  TcpClient over(service.Port());
  EXPECT_TRUE(over.WaitForClose(kPatience));
  ASSERT_TRUE(service.WaitForEvents(3, kPatience));
  EXPECT_THAT(service.Events(), Each(Eq(kRefused)));
  EXPECT_EQ(service.Events().size(), 3u);
}

}  // namespace
}  // namespace brivane::testkit
