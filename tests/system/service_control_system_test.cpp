#include <gtest/gtest.h>

#include "tests/system/system_test_fixture.h"

namespace brivane::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kIdleUnit =
    "[Unit]\nDescription=Brivane test: runs until stopped\n"
    "[Service]\nExecStart=/bin/sleep infinity\n";
// Type=notify without ever notifying: stays "activating" for as long as the test needs.
constexpr const char* kNeverReadyUnit =
    "[Unit]\nDescription=Brivane test: never reports ready\n"
    "[Service]\nType=notify\nExecStart=/bin/sleep infinity\nTimeoutStartSec=infinity\n";
constexpr const char* kFailingUnit =
    "[Unit]\nDescription=Brivane test: fails at once\n"
    "[Service]\nType=oneshot\nExecStart=/bin/false\n";

using ServiceControlSystemTest = SystemdNamespaceTest;

TEST_F(ServiceControlSystemTest, UnitThatDoesNotExistGivesFalseEverywhere) {
  for (bool asNobody : {false, true}) {
    SCOPED_TRACE(asNobody ? "as nobody" : "as root");
    EXPECT_EQ(Probe({"exists", "BrivaneNoSuchService"}, asNobody), "false");
    EXPECT_EQ(Probe({"running", "BrivaneNoSuchService"}, asNobody), "false");
    EXPECT_EQ(Probe({"start", "BrivaneNoSuchService"}, asNobody), "false");
    EXPECT_EQ(Probe({"stop", "BrivaneNoSuchService"}, asNobody), "false");
  }
  // Names systemd rejects outright.
  EXPECT_EQ(Probe({"exists", ""}), "false");
  EXPECT_EQ(Probe({"start", "no/such"}), "false");
  EXPECT_EQ(system_->UnitProperty("BrivaneNoSuchService.service", "ActiveState"), "inactive");
}

TEST_F(ServiceControlSystemTest, StartAndStopAskOnlyWhatIsNeeded) {
  AddUnit("brivane-idle.service", kIdleUnit);
  EXPECT_EQ(Probe({"exists", "brivane-idle"}), "true");
  EXPECT_EQ(Probe({"running", "brivane-idle"}), "false");

  EXPECT_EQ(Probe({"start", "brivane-idle"}), "true");
  ASSERT_TRUE(WaitFor([&] { return Probe({"running", "brivane-idle"}) == "true"; }, 10s));
  const auto invocation = system_->UnitProperty("brivane-idle.service", "InvocationID");
  const auto mainPid = system_->UnitProperty("brivane-idle.service", "MainPID");

  // Starting a running unit changes nothing: same run, same process.
  EXPECT_EQ(Probe({"start", "brivane-idle"}), "true");
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "InvocationID"), invocation);
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "MainPID"), mainPid);

  EXPECT_EQ(Probe({"stop", "brivane-idle"}), "true");
  ASSERT_TRUE(WaitFor(
      [&] { return system_->UnitProperty("brivane-idle.service", "ActiveState") == "inactive"; },
      10s));
  EXPECT_EQ(Probe({"running", "brivane-idle"}), "false");

  // Stopping a stopped unit asks nothing.
  EXPECT_EQ(Probe({"stop", "brivane-idle"}), "true");
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "ActiveState"), "inactive");
  EXPECT_EQ(system_->Run({"systemctl", "list-jobs", "--no-legend"}).out, "");

  // A failed unit counts as stopped, so start asks for a new run.
  AddUnit("brivane-fails.service", kFailingUnit);
  system_->Run({"systemctl", "start", "brivane-fails.service"});
  ASSERT_EQ(system_->UnitProperty("brivane-fails.service", "ActiveState"), "failed");
  const auto failedRun = system_->UnitProperty("brivane-fails.service", "InvocationID");
  EXPECT_EQ(Probe({"start", "brivane-fails"}), "true");
  EXPECT_TRUE(WaitFor(
      [&] { return system_->UnitProperty("brivane-fails.service", "InvocationID") != failedRun; },
      10s));
}

TEST_F(ServiceControlSystemTest, StartingUnitIsNeitherRunningNorStopped) {
  AddUnit("brivane-never-ready.service", kNeverReadyUnit);
  ASSERT_EQ(
      system_->Run({"systemctl", "start", "--no-block", "brivane-never-ready.service"}).exitStatus,
      0);
  ASSERT_TRUE(WaitFor(
      [&] {
        return system_->UnitProperty("brivane-never-ready.service", "ActiveState") == "activating";
      },
      10s));
  const auto invocation = system_->UnitProperty("brivane-never-ready.service", "InvocationID");

  EXPECT_EQ(Probe({"exists", "brivane-never-ready"}), "true");
  EXPECT_EQ(Probe({"running", "brivane-never-ready"}), "false");
  // Neither start nor stop is asked of a unit on its way up.
  EXPECT_EQ(Probe({"start", "brivane-never-ready"}), "true");
  EXPECT_EQ(Probe({"stop", "brivane-never-ready"}), "true");
  EXPECT_EQ(system_->UnitProperty("brivane-never-ready.service", "ActiveState"), "activating");
  EXPECT_EQ(system_->UnitProperty("brivane-never-ready.service", "InvocationID"), invocation);
  const auto jobs = system_->Run({"systemctl", "list-jobs", "--no-legend"}).out;
  EXPECT_NE(jobs.find("brivane-never-ready.service start"), std::string::npos) << jobs;
  EXPECT_EQ(jobs.find("stop"), std::string::npos) << jobs;
}

TEST_F(ServiceControlSystemTest, UserWithoutRightsGetsFalseAndNothingChanges) {
  AddUnit("brivane-idle.service", kIdleUnit);
  // Looking is open to everyone (the console runs as a user).
  EXPECT_EQ(Probe({"exists", "brivane-idle"}, true), "true");
  EXPECT_EQ(Probe({"running", "brivane-idle"}, true), "false");

  EXPECT_EQ(Probe({"start", "brivane-idle"}, true), "false");
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "ActiveState"), "inactive");
  EXPECT_EQ(system_->Run({"systemctl", "list-jobs", "--no-legend"}).out, "");

  EXPECT_EQ(Probe({"start", "brivane-idle"}), "true");
  ASSERT_TRUE(WaitFor([&] { return Probe({"running", "brivane-idle"}, true) == "true"; }, 10s));
  const auto invocation = system_->UnitProperty("brivane-idle.service", "InvocationID");

  EXPECT_EQ(Probe({"stop", "brivane-idle"}, true), "false");
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "ActiveState"), "active");
  EXPECT_EQ(system_->UnitProperty("brivane-idle.service", "InvocationID"), invocation);
}

TEST_F(ServiceControlSystemTest, RootWithoutTheBusUsesSystemdsOwnSocket) {
  AddUnit("brivane-idle.service", kIdleUnit);
  ASSERT_EQ(system_->Run({"systemctl", "stop", "dbus.socket", "dbus.service"}).exitStatus, 0);
  ASSERT_TRUE(WaitFor(
      [&] {
        return system_->UnitProperty("dbus.service", "ActiveState") == "inactive" &&
               system_->UnitProperty("dbus.socket", "ActiveState") == "inactive";
      },
      10s));

  EXPECT_EQ(Probe({"exists", "brivane-idle"}), "true");
  EXPECT_EQ(Probe({"start", "brivane-idle"}), "true");
  EXPECT_TRUE(WaitFor([&] { return Probe({"running", "brivane-idle"}) == "true"; }, 10s));
  EXPECT_EQ(Probe({"stop", "brivane-idle"}), "true");
  EXPECT_TRUE(WaitFor([&] { return Probe({"running", "brivane-idle"}) == "false"; }, 10s));
  // systemd's own socket is for root only.
  EXPECT_EQ(Probe({"exists", "brivane-idle"}, true), "false");
}

}  // namespace
}  // namespace brivane::testing
