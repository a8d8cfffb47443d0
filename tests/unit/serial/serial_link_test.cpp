#include "service/serial/serial_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_serial_control.h"

namespace brivane {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct LinkFixture {
  testing::FakeSerialControl comm;
  std::int64_t now = 1'800'000'000;
  std::vector<std::string> records;
  std::vector<std::string> entries;
  SerialLink link{comm,
                  {[this](std::string_view r) { records.emplace_back(r); },
                   [this](int type, const std::string& t) {
                     EXPECT_EQ(type, kEventTypeError);
                     entries.push_back(t);
                   }},
                  [this] { return now; }};
};

TEST(SerialLinkTest, TheHostIsHandedEveryRecordAndEntryAndReadsTheFiguresTheTicksChanged) {
  LinkFixture f;
  f.comm.ports[1] = {};
  f.link.Configure(3);  // no COM3 on this machine
  EXPECT_EQ(f.link.COMPort(), 3);

  f.link.CheckComTick();
  EXPECT_THAT(f.entries, ElementsAre(::testing::StartsWith("tmrCheckCOM: Port 3 is an invalid")));
  EXPECT_EQ(f.link.COMPort(), 0);

  // Automatic detection finds COM1; its records reach the host one by one, in order.
  f.link.CheckComTick();
  EXPECT_EQ(f.link.ProbePort(), 1);
  ++f.now;
  f.comm.Arrive(1, "\n3,00,01\r\nA,02\r\nnoise\r\n1,03\r");
  f.link.ReceiveStep();
  EXPECT_THAT(f.records, ElementsAre("3,00,01", "A,02", "1,03"));
  EXPECT_EQ(f.link.LastDataTime(), f.now);
  EXPECT_EQ(f.link.Equipment().FXAddresses(), "31");
  EXPECT_EQ(f.link.Equipment().MXAddresses(), "A");
  EXPECT_EQ(f.entries.size(), 1u);
}

TEST(SerialLinkTest, ConfiguringForgetsTheLastDataSoTheFirstTickActsAtOnce) {
  LinkFixture f;
  f.comm.ports[2] = {};
  f.comm.open = true;
  f.comm.Arrive(1, "\n1,2,3,4\r");
  f.link.ReceiveStep();
  ASSERT_EQ(f.link.LastDataTime(), f.now);

  f.link.Configure(2);
  EXPECT_EQ(f.link.LastDataTime(), 0);
  f.comm.open = false;
  f.comm.calls.clear();
  f.link.CheckComTick();  // fresh data a moment ago would have made this tick wait
  EXPECT_THAT(f.comm.calls, ElementsAre("set 2", "open 2"));
  EXPECT_THAT(f.entries, IsEmpty());
}

}  // namespace
}  // namespace brivane
