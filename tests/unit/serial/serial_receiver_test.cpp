#include "service/serial/serial_receiver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_serial_control.h"

namespace brivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct ReceiverFixture {
  ReceiverFixture() {
    comm.ports[1] = {};
    comm.open = true;
  }
  testing::FakeSerialControl comm;
  SerialLinkState link;
  std::int64_t now = 1'800'000'000;
  std::vector<std::string> sent;
  SerialReceiver receiver{comm, [this](std::string_view r) { sent.emplace_back(r); },
                          [this] { return now; }};
};

TEST(SerialReceiverTest, ReadsOnlyWhenSevenOrMoreCharactersWait) {
  ReceiverFixture f;
  f.comm.Arrive(1, "\n1,2,3");  // six characters
  f.receiver.ReceiveStep(f.link);
  EXPECT_EQ(f.comm.reads, 0);
  EXPECT_EQ(f.link.LastDataTime, 0);

  // The carriage return is the seventh: everything is read together.
  ++f.now;
  f.comm.Arrive(1, "\r");
  f.receiver.ReceiveStep(f.link);
  EXPECT_EQ(f.comm.reads, 1);
  EXPECT_EQ(f.link.LastDataTime, f.now);
  EXPECT_THAT(f.sent, ElementsAre("1,2,3"));
  EXPECT_EQ(f.receiver.Equipment().FXCount(), 1);
}

TEST(SerialReceiverTest, EndOfRecordWaitsForSevenCharactersAndGarbageStillCountsAsData) {
  ReceiverFixture f;
  f.comm.Arrive(1, "\nB,1,22,33");
  f.receiver.ReceiveStep(f.link);
  EXPECT_THAT(f.sent, IsEmpty());
  EXPECT_TRUE(f.receiver.Buffer().RecordOpen());

  f.comm.Arrive(1, ",44\r");  // the rest, but only four characters
  f.now += 5;
  f.receiver.ReceiveStep(f.link);
  EXPECT_THAT(f.sent, IsEmpty());
  f.comm.Arrive(1, "\nA,5");
  f.receiver.ReceiveStep(f.link);
  EXPECT_THAT(f.sent, ElementsAre("B,1,22,33,44"));
  EXPECT_EQ(f.receiver.Equipment().MXAddresses(), "B");

  // Seven characters of anything keep the port alive.
  f.now += 10;
  f.comm.Arrive(1, "\r??????????");
  f.receiver.ReceiveStep(f.link);
  EXPECT_EQ(f.link.LastDataTime, f.now);
  EXPECT_THAT(f.sent, ElementsAre("B,1,22,33,44", "A,5"));
  EXPECT_EQ(f.receiver.Equipment().MXAddresses(), "BA");
}

TEST(SerialReceiverTest, ClosedPortReadsNothing) {
  ReceiverFixture f;
  f.comm.open = false;
  f.receiver.ReceiveStep(f.link);
  EXPECT_EQ(f.comm.reads, 0);
  EXPECT_EQ(f.link.LastDataTime, 0);
}

}  // namespace
}  // namespace brivane
