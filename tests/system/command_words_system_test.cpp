#include <gtest/gtest.h>

#include <iostream>
#include <regex>

#include "tests/system/system_test_fixture.h"

namespace brivane::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kInstalled =
    "Brivane Service Install\nBrivane is now installed as a service!\n";
constexpr const char* kAlreadyInstalled =
    "Error installing the Brivane service\nThe Brivane service has already been installed.\n";
constexpr const char* kRemoved =
    "Brivane Service Removal\nThe Brivane service has been removed. You may\n"
    "need to reboot to complete the removal process.\n";
constexpr const char* kNotInstalled =
    "Error removing Brivane service\n"
    "Could not uninstall the Brivane service. Either the Brivane service is not installed,\n"
    "or you might not be logged in with an account that has the required permissions.\n"
    "You must be logged in as an administrator to remove the Brivane service.\n";

constexpr const char* kInstallFailed =
    "Error installing Brivane service\n"
    "Could not install Brivane as a service. You might not be logged in with an account that "
    "has the\n"
    "required permissions. You must be logged in as an administrator to install the Brivane "
    "service.\n";
constexpr const char* kUninstallFailed =
    "Error removing Brivane service\n"
    "Could not uninstall the Brivane service. You might not be logged in with an account that "
    "has the\n"
    "required permissions. You must be logged in as an administrator to remove the Brivane "
    "service.\n";

constexpr auto kCommandTimeout = 60s;

class CommandWordsSystemTest : public SystemdNamespaceTest {
 protected:
  void SetUp() override {
    SystemdNamespaceTest::SetUp();
    if (IsSkipped() || HasFailure()) {
      return;
    }
    // Installed the way a user would: the program in a folder of its own.
    service_ = system_->Exchange() / "BrivaneSvc";
    std::filesystem::copy_file(BuiltProgram("BrivaneSvc"), service_);
  }

  CommandResult Word(const std::vector<std::string>& words, bool asNobody = false) const {
    std::vector<std::string> argv;
    if (asNobody) {
      argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    argv.push_back(service_.string());
    argv.insert(argv.end(), words.begin(), words.end());
    return system_->Run(argv, kCommandTimeout);
  }

  void ExpectInstalledAndServing() const {
    const auto unit = system_->Shell("cat /etc/systemd/system/Brivane.service");
    ASSERT_EQ(unit.exitStatus, 0) << "no unit file";
    EXPECT_NE(unit.out.find("ExecStart=\"" + service_.string() + "\"\n"), std::string::npos)
        << unit.out;
    EXPECT_EQ(system_->UnitProperty("Brivane.service", "UnitFileState"), "enabled");
    EXPECT_EQ(system_->Run({"stat", "-c", "%a", "/etc/systemd/system/Brivane.service"}).out,
              "644\n");
    // Its ports answer, and it could write its settings beside itself.
    ExpectServing();
    EXPECT_TRUE(std::filesystem::exists(system_->Exchange() / "Brivane.ini"));
  }

  void ExpectRemovedAndStopped() const {
    EXPECT_NE(system_->Run({"test", "-e", "/etc/systemd/system/Brivane.service"}).exitStatus, 0);
    EXPECT_EQ(Probe({"exists", "Brivane"}), "false");
    EXPECT_EQ(system_
                  ->Run({"test", "-e",
                         "/etc/systemd/system/multi-user.target.wants/"
                         "Brivane.service"})
                  .exitStatus,
              1);
    EXPECT_TRUE(WaitFor([&] { return ServiceProcessGone(); }, 10s));
  }

  std::filesystem::path service_;
};

TEST_F(CommandWordsSystemTest, InstallThenInstallAgainThenUninstallWhileRunning) {
  const auto install = Word({"install"});
  EXPECT_EQ(install.exitStatus, 0) << install.err;
  EXPECT_EQ(install.out, kInstalled);
  // The message comes first, then the 5-second wait, then the start.
  EXPECT_GE(install.elapsed, 5s);
  EXPECT_GE(install.elapsed - install.firstOutputAfter, 4500ms);
  ExpectInstalledAndServing();
  const auto invocation = system_->UnitProperty("Brivane.service", "InvocationID");

  const auto again = Word({"install"});
  EXPECT_EQ(again.exitStatus, 1);
  EXPECT_EQ(again.out, kAlreadyInstalled);
  EXPECT_LT(again.elapsed, 4s) << "no wait and no start after Already-installed";
  EXPECT_EQ(system_->UnitProperty("Brivane.service", "InvocationID"), invocation);

  const auto uninstall = Word({"uninstall"});
  EXPECT_EQ(uninstall.exitStatus, 0) << uninstall.err;
  EXPECT_EQ(uninstall.out, kRemoved);
  EXPECT_GE(uninstall.elapsed, 2s);
  EXPECT_FALSE(ServiceRunning());
  ExpectRemovedAndStopped();
}

TEST_F(CommandWordsSystemTest, InstallSilentStartsQuietlyAndRemoveUninstalls) {
  const auto install = Word({"install", "silent"});
  EXPECT_EQ(install.exitStatus, 0) << install.err;
  EXPECT_EQ(install.out, "");
  EXPECT_GE(install.elapsed, 5s);
  ExpectInstalledAndServing();

  const auto security =
      system_->Run({"systemd-analyze", "security", "--no-pager", "Brivane.service"});
  std::smatch exposure;
  ASSERT_TRUE(std::regex_search(security.out, exposure,
                                std::regex("Overall exposure level for Brivane.service: "
                                           "([0-9.]+)")))
      << security.out << security.err;
  RecordProperty("exposure", exposure[1].str());
  std::cout << "systemd-analyze security: exposure " << exposure[1] << "\n";
  // A program under a temporary folder gets no private /tmp, which would hide it: 0.2 more.
  const std::string where = service_.string();
  const bool temporary = where.starts_with("/tmp/") || where.starts_with("/var/tmp/");
  EXPECT_LE(std::stod(exposure[1].str()), temporary ? 2.4 : 2.2) << where;

  const auto remove = Word({"remove"});
  EXPECT_EQ(remove.exitStatus, 0) << remove.err;
  EXPECT_EQ(remove.out, kRemoved);
  ExpectRemovedAndStopped();

  // Not installed now: remove and uninstall say so alike.
  const auto removeAgain = Word({"remove"});
  EXPECT_EQ(removeAgain.exitStatus, 1);
  EXPECT_EQ(removeAgain.out, kNotInstalled);
  const auto uninstallAgain = Word({"uninstall"});
  EXPECT_EQ(uninstallAgain.exitStatus, 1);
  EXPECT_EQ(uninstallAgain.out, kNotInstalled);
}

TEST_F(CommandWordsSystemTest, UninstallSilentWhenNotInstalledEndsAtOnce) {
  const auto uninstall = Word({"uninstall", "silent"});
  EXPECT_EQ(uninstall.exitStatus, 1);
  EXPECT_EQ(uninstall.out, "");
  EXPECT_EQ(uninstall.err, "");
  EXPECT_LT(uninstall.elapsed, 2s) << "went past the existence check";
  EXPECT_EQ(Probe({"exists", "Brivane"}), "false");

  // A user without rights cannot install; nothing is left behind.
  const auto install = Word({"install"}, true);
  EXPECT_EQ(install.exitStatus, 1);
  EXPECT_EQ(install.out, kInstallFailed);
  EXPECT_LT(install.elapsed, 4s);
  EXPECT_EQ(Probe({"exists", "Brivane"}), "false");
  EXPECT_NE(system_->Run({"test", "-e", "/etc/systemd/system/Brivane.service"}).exitStatus, 0);
}

TEST_F(CommandWordsSystemTest, CommandWordsWorkWhileTheServiceRuns) {
  ASSERT_EQ(Word({"install", "silent"}).exitStatus, 0);
  ASSERT_TRUE(WaitFor([&] { return ServiceRunning(); }, 15s));
  // The running service holds the single-instance lock; the command word comes first.
  const auto invocation = system_->UnitProperty("Brivane.service", "InvocationID");
  const auto again = Word({"install"});
  EXPECT_EQ(again.out, kAlreadyInstalled);

  // A user without rights can neither stop nor remove it.
  const auto refused = Word({"uninstall"}, true);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.out, kUninstallFailed);
  EXPECT_TRUE(ServiceRunning());
  EXPECT_EQ(system_->UnitProperty("Brivane.service", "InvocationID"), invocation);
  EXPECT_EQ(system_->UnitProperty("Brivane.service", "UnitFileState"), "enabled");

  const auto uninstall = Word({"uninstall", "silent"});
  EXPECT_EQ(uninstall.exitStatus, 0);
  EXPECT_EQ(uninstall.out, "");
  ExpectRemovedAndStopped();
}

// What the sandbox of the unit leaves the service: a serial device (here a pseudo-terminal
// with a simulated MATE behind it), its folder, its ports.
TEST_F(CommandWordsSystemTest, InstalledServiceReadsTheMateThroughItsSandbox) {
  const auto link = system_->Exchange() / "mate";
  const auto simulator = system_->Run({"systemd-run", "--unit=brivane-mate-sim",
                                       "--property=Type=exec", BuiltProgram("mate-sim").string(),
                                       "--link", link.string(), "--devices", "0,A", "--rate", "2"});
  ASSERT_EQ(simulator.exitStatus, 0) << simulator.err;
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::is_symlink(link); }, 10s));
  {
    std::ofstream settings(system_->Exchange() / "Brivane.ini");
    settings << "[BrivaneSvc]\nCOMPort=1\n\n[SerialDevices]\nCOM1=" << link.string() << "\n";
  }

  ASSERT_EQ(Word({"install", "silent"}).exitStatus, 0);
  ASSERT_TRUE(WaitFor([&] { return ServiceRunning(); }, 15s));
  std::string received;
  EXPECT_TRUE(WaitFor(
      [&] {
        received = Probe({"tcp", "8467", "4"});
        return received.find("\n0,") != std::string::npos &&
               received.find("\nA,") != std::string::npos;
      },
      20s))
      << received << system_->Run({"journalctl", "--no-pager", "-u", "Brivane.service"}).out;
  std::string status;
  EXPECT_TRUE(WaitFor(
      [&] {
        status = Probe({"udp", "8466", "SvcCon"});
        return status.find(",1,1,True,") != std::string::npos;
      },
      10s))
      << status;
}

// The unit's entries reach the journal with their priority and are found under its name.
TEST_F(CommandWordsSystemTest, InstalledServiceWritesItsEventsToTheJournal) {
  {
    std::ofstream settings(system_->Exchange() / "Brivane.ini");
    settings << "[BrivaneSvc]\nCOMPort=1\n\n[SerialDevices]\nCOM1=/nonexistent/mate\n";
  }
  ASSERT_EQ(Word({"install", "silent"}).exitStatus, 0);
  std::string entries;
  EXPECT_TRUE(WaitFor(
      [&] {
        entries =
            system_->Run({"journalctl", "--no-pager", "-o", "export", "-u", "Brivane.service"}).out;
        return entries.find(
                   "MESSAGE=tmrCheckCOM: Port 1 is an invalid port number. Reverting to "
                   "automatic detection. Err: 8002, Invalid port number\n") != std::string::npos;
      },
      20s))
      << entries;
  EXPECT_NE(entries.find("\nPRIORITY=3\n"), std::string::npos);
  EXPECT_NE(entries.find("\nSYSLOG_IDENTIFIER=Brivane\n"), std::string::npos);
  EXPECT_NE(entries.find("\nBRIVANE_EVENT_ID=109\n"), std::string::npos);
  EXPECT_EQ(Word({"uninstall", "silent"}).exitStatus, 0);
}

}  // namespace
}  // namespace brivane::testing
