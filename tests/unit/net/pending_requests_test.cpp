#include "service/net/pending_requests.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

PendingRequest Request(RequestKind kind, std::uint16_t port) {
  return PendingRequest{kind, "192.168.1.20", port, "192.168.1.5"};
}

TEST(PendingRequests, HoldsFourInArrivalOrderAndDropsTheFifth) {
  PendingRequests queue;
  EXPECT_TRUE(queue.Add(Request(RequestKind::Status, 1001)));
  EXPECT_TRUE(queue.Add(Request(RequestKind::Discovery, 1002)));
  EXPECT_TRUE(queue.Add(Request(RequestKind::Status, 1003)));
  EXPECT_TRUE(queue.Add(Request(RequestKind::Status, 1004)));
  EXPECT_FALSE(queue.Add(Request(RequestKind::Status, 1005)));
  EXPECT_EQ(queue.Count(), 4u);

  const auto taken = queue.TakeAll();
  ASSERT_EQ(taken.size(), 4u);
  EXPECT_EQ(taken[0].senderPort, 1001);
  EXPECT_EQ(taken[1].kind, RequestKind::Discovery);
  EXPECT_EQ(taken[1].senderAddress, "192.168.1.20");
  EXPECT_EQ(taken[1].localAddress, "192.168.1.5");
  EXPECT_EQ(taken[3].senderPort, 1004);

  // Emptied by the step: the next interval has all four places again.
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_TRUE(queue.TakeAll().empty());
  for (std::uint16_t port = 2001; port <= 2004; ++port) {
    EXPECT_TRUE(queue.Add(Request(RequestKind::Status, port)));
  }
  EXPECT_FALSE(queue.Add(Request(RequestKind::Discovery, 2005)));
}

}  // namespace
}  // namespace brivane
