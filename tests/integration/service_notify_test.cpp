// systemd's side of the notify protocol, played by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/notify_socket.h"
#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::IsEmpty;

TEST(ServiceNotify, ReadyAfterStartAndStoppingAfterSigterm) {
  const std::uint16_t port = FreePort();
  ServiceFolder folder("[BrivaneSvc]\nUDPBPort=" + std::to_string(port) +
                       "\nTCPPort=" + std::to_string(port) + "\n");
  NotifySocket notify;
  auto service = folder.Start({}, {{"NOTIFY_SOCKET", notify.Path().string()}});

  ASSERT_TRUE(notify.WaitFor("READY=1", kPatience));
  EXPECT_FALSE(notify.WaitFor("STOPPING=1", std::chrono::milliseconds(0)));
  // Well past the watchdog's second: the Start event disarmed it.
  EXPECT_FALSE(service->WaitForExit(std::chrono::milliseconds(1500)).has_value());

  ASSERT_TRUE(service->Signal(SIGTERM));
  ASSERT_TRUE(notify.WaitFor("STOPPING=1", kPatience));
  EXPECT_EQ(service->WaitForExit(kPatience), 0);
  // Outside foreground mode the event log goes to the journal only.
  EXPECT_THAT(service->StderrLines(), IsEmpty());
  EXPECT_THAT(service->StdoutLines(), IsEmpty());
}

TEST(ServiceNotify, AFailedStartIsNeverReportedReady) {
  const std::uint16_t port = FreePort();
  PortHolder taken(PortHolder::Protocol::kUdp, port);
  ASSERT_TRUE(taken.Held()) << taken.Error();
  ServiceFolder folder("[BrivaneSvc]\nUDPBPort=" + std::to_string(port) + "\n");
  NotifySocket notify;
  auto service = folder.Start({}, {{"NOTIFY_SOCKET", notify.Path().string()}});

  EXPECT_EQ(service->WaitForExit(kPatience), 1);
  EXPECT_FALSE(notify.WaitFor("READY=1", std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace brivane::testkit
