#include "service/host/service_notify.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/unique_fd.h"
#include "service/host/unix_datagram.h"
#include "tests/support/notify_socket.h"

namespace brivane {
namespace {

using namespace std::chrono_literals;

TEST(ServiceNotify, SendsTheStateToTheSocketSystemdLeft) {
  testkit::NotifySocket manager;
  ASSERT_EQ(setenv("NOTIFY_SOCKET", manager.Path().c_str(), 1), 0);
  EXPECT_TRUE(NotifyServiceManager("READY=1"));
  EXPECT_TRUE(NotifyServiceManager("STOPPING=1"));
  ASSERT_TRUE(manager.WaitFor("STOPPING=1", 5s));
  EXPECT_EQ(manager.Messages(), (std::vector<std::string>{"READY=1", "STOPPING=1"}));
}

TEST(ServiceNotify, OutsideSystemdOrWithNoListenerNothingIsSent) {
  ASSERT_EQ(unsetenv("NOTIFY_SOCKET"), 0);
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  ASSERT_EQ(setenv("NOTIFY_SOCKET", "", 1), 0);
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  ASSERT_EQ(setenv("NOTIFY_SOCKET", "/nonexistent/notify", 1), 0);
  EXPECT_FALSE(NotifyServiceManager("READY=1"));
  EXPECT_FALSE(SendUnixDatagram(std::string(200, 'x'), "READY=1"));
}

TEST(ServiceNotify, AnAbstractNameIsReachedWithoutAFile) {
  const std::string name = "@brivane-notify-test-" + std::to_string(getpid());
  const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ASSERT_TRUE(fd);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data() + 1, name.size() - 1);
  ASSERT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&address),
                 static_cast<socklen_t>(sizeof address.sun_family + name.size())),
            0);
  ASSERT_EQ(setenv("NOTIFY_SOCKET", name.c_str(), 1), 0);
  EXPECT_TRUE(NotifyServiceManager("READY=1"));
  char received[32] = {};
  timeval wait{5, 0};
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  EXPECT_EQ(recv(fd.get(), received, sizeof received, 0), 7);
  EXPECT_STREQ(received, "READY=1");
}

}  // namespace
}  // namespace brivane
