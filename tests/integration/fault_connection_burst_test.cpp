// A burst of connection attempts far beyond the 100 slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "tests/support/client_crowd.h"
#include "tests/support/ports.h"
#include "tests/support/process_status.h"
#include "tests/support/service_folder.h"
#include "tests/support/socket_table.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

constexpr int kAttempts = 1000;
constexpr int kSlots = 100;

TEST(FaultConnectionBurst, ServesHundredRefusesTheRestAndGivesBackEverySocket) {
  if (RaiseOpenFileLimit(kAttempts + 256) < kAttempts + 64) {
    GTEST_SKIP() << "the hard limit of open files is below " << kAttempts + 64;
  }
  const std::uint16_t port = FreePort();
  // The configured device does not exist: the serial side holds no descriptor of ours.
  ServiceFolder folder("[BrivaneSvc]\nCOMPort=1\nUDPBPort=" + std::to_string(port) +
                       "\nTCPPort=" + std::to_string(port) +
                       "\n[SerialDevices]\nCOM1=" + "/nonexistent/brivane-line\n");
  const auto service = folder.Start({"--foreground"});
  ASSERT_TRUE(WaitFor([&] { return !TcpListenerAddresses(port).empty(); }, kPatience));
  const int tcpSocketsBefore = OpenTcpSockets(service->Pid());
  ASSERT_GT(tcpSocketsBefore, 0);

  const std::string refusal =
      "warning 109: Could not accept TCP connection from 127.0.0.1. Too many connections!";
  const auto refusals = [&] {
    const auto lines = service->StderrLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), refusal));
  };

  ClientCrowd crowd(port, kAttempts, {});
  ASSERT_EQ(crowd.Started(), kAttempts);
  ASSERT_TRUE(crowd.PumpUntil(
      [&] {
        return crowd.Greeted() >= kSlots && crowd.Closed() >= kAttempts - kSlots &&
               refusals() >= kAttempts - kSlots;
      },
      3 * kPatience))
      << "greeted " << crowd.Greeted() << ", closed " << crowd.Closed() << ", refusals "
      << refusals();
  EXPECT_EQ(crowd.Greeted(), kSlots);
  EXPECT_EQ(crowd.Closed(), kAttempts - kSlots);
  EXPECT_EQ(refusals(), kAttempts - kSlots);

  crowd.CloseAll();
  EXPECT_TRUE(WaitFor(
      [&] {
        const int sockets = OpenTcpSockets(service->Pid());
        return sockets >= 0 && sockets <= tcpSocketsBefore;
      },
      kPatience))
      << "TCP sockets before " << tcpSocketsBefore << ", now " << OpenTcpSockets(service->Pid());
  EXPECT_TRUE(service->Running());
}

}  // namespace
}  // namespace brivane::testkit
