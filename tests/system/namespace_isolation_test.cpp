#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "common/unique_fd.h"
#include "tests/system/systemd_namespace.h"

namespace brivane::testing {
namespace {

std::string HostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

std::string Lines(std::string text) {
  while (!text.empty() && text.back() == '\n') {
    text.pop_back();
  }
  return text;
}

// The system inside must leave the machine as it found it: its /tmp (a booting
// systemd would clean it), its host name, its /dev and /etc; and leave nothing behind.
TEST(NamespaceIsolationTest, BootsWithoutTouchingTheMachineAndLeavesNothingBehind) {
  char canary[] = "/tmp/brivane-canary-XXXXXX";
  ASSERT_TRUE(UniqueFd(::mkstemp(canary)));
  struct stat devLogBefore {};
  const bool devLogExisted = ::lstat("/dev/log", &devLogBefore) == 0;
  const std::string hostName = HostName();

  std::string skipReason;
  std::string failure;
  auto system = SystemdNamespace::Boot(skipReason, failure);
  if (!system) {
    ::unlink(canary);
    if (!skipReason.empty()) {
      GTEST_SKIP() << skipReason;
    }
    FAIL() << failure;
  }
  const pid_t init = system->Init();
  const auto exchange = system->Exchange();

  EXPECT_EQ(Lines(system->Run({"cat", "/proc/1/comm"}).out), "systemd");
  EXPECT_EQ(Lines(system->Run({"stat", "-f", "-c", "%T", "/"}).out), "overlayfs");
  EXPECT_EQ(Lines(system->Run({"stat", "-f", "-c", "%T", "/tmp"}).out), "tmpfs");
  EXPECT_NE(system->Run({"test", "-e", canary}).exitStatus, 0) << "the machine's /tmp is shared";
  EXPECT_EQ(system->UnitProperty("systemd-tmpfiles-setup.service", "LoadState"), "masked");
  EXPECT_EQ(system->UnitProperty("systemd-sysctl.service", "LoadState"), "masked");
  EXPECT_EQ(system->UnitProperty("systemd-sysusers.service", "LoadState"), "masked");

  // Writes inside stay inside; the exchange folder is the one shared place.
  ASSERT_EQ(system
                ->Shell("echo inside > /etc/brivane-namespace-probe && "
                        "echo inside > '" +
                        exchange.string() + "/from-inside'")
                .exitStatus,
            0);
  EXPECT_FALSE(std::filesystem::exists("/etc/brivane-namespace-probe"));
  EXPECT_TRUE(std::filesystem::exists(exchange / "from-inside"));

  EXPECT_TRUE(std::filesystem::exists(canary));
  EXPECT_EQ(HostName(), hostName);
  struct stat devLogAfter {};
  const bool devLogExists = ::lstat("/dev/log", &devLogAfter) == 0;
  EXPECT_EQ(devLogExists, devLogExisted);
  if (devLogExisted && devLogExists) {
    EXPECT_EQ(devLogAfter.st_ino, devLogBefore.st_ino);
  }

  system.reset();
  EXPECT_EQ(::kill(init, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(std::filesystem::exists(exchange));
  EXPECT_TRUE(std::filesystem::exists(canary));
  ::unlink(canary);
}

}  // namespace
}  // namespace brivane::testing
