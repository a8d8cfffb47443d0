// The default configuration takes the fixed ports 8466/udp and 8467/tcp, so this runs
// with no other test beside it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>

#include "tests/support/notify_socket.h"
#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/socket_table.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(ServiceDefaults, DefaultConfigurationListensOnAllAddressesWithoutEntries) {
  if (!UdpPortFree(8466) || !TcpPortFree(8467)) {
    GTEST_SKIP() << "8466/udp or 8467/tcp is already in use on this machine";
  }
  ServiceFolder folder;  // no Brivane.ini at all
  NotifySocket notify;
  auto service = folder.Start({"--foreground"}, {{"NOTIFY_SOCKET", notify.Path().string()}});
  ASSERT_TRUE(notify.WaitFor("READY=1", kPatience));

  EXPECT_THAT(UdpSocketAddresses(8466), ElementsAre("0.0.0.0"));
  EXPECT_THAT(TcpListenerAddresses(8467), ElementsAre("0.0.0.0"));
  // The start wrote the settings it ran with.
  const std::string ini = folder.ReadIni();
  EXPECT_THAT(ini, HasSubstr("[BrivaneSvc]"));
  EXPECT_THAT(ini, HasSubstr("UDPBPort=8466"));
  EXPECT_THAT(ini, HasSubstr("TCPPort=8467"));

  ASSERT_TRUE(service->Signal(SIGTERM));
  EXPECT_EQ(service->WaitForExit(kPatience), 0);
  EXPECT_THAT(EventLines(service->StderrLines()), IsEmpty());
}

}  // namespace
}  // namespace brivane::testkit
