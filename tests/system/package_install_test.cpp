#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/system/system_test_fixture.h"

// The Debian package installed with dpkg inside the namespaced systemd, so its maintainer
// scripts really register, restart and remove the service there. The namespace has a
// network of its own, so the default ports 8466 and 8467 collide with nothing outside.
namespace brivane::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kDpkgTimeout = 120s;
constexpr const char* kInstalledProgram = "/opt/brivane/BrivaneSvc";
constexpr const char* kSettings = "/opt/brivane/Brivane.ini";

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

class PackageInstallSystemTest : public SystemdNamespaceTest {
 protected:
  // The package is built with cpack from this build's own configuration into
  // <build>/package-install-test, and built again only when something it is made of is
  // newer. ctest runs each test case in a process of its own, and the system tests one at a
  // time, so only the first pays for cpack, which checks the whole tree before it stages.
  static void SetUpTestSuite() {
    const char* bin = std::getenv("BRIVANE_BIN_DIR");
    const auto programs = std::filesystem::path(bin != nullptr ? bin : ".");
    const auto build = programs.parent_path();
    const auto config = build / "CPackConfig.cmake";
    if (!std::filesystem::exists(config)) {
      packageSkip_ = "the package was not built: no " + config.string();
      return;
    }
    for (const char* tool : {"cpack", "dpkg-deb", "dpkg-shlibdeps"}) {
      if (RunCommand({"sh", "-c", std::string("command -v ") + tool}, 10s).exitStatus != 0) {
        packageSkip_ = std::string("the package was not built: ") + tool + " is missing";
        return;
      }
    }
    const auto folder = build / "package-install-test";
    std::error_code error;
    std::filesystem::file_time_type newestPart{};
    auto consider = [&](const std::filesystem::path& path) {
      const auto time = std::filesystem::last_write_time(path, error);
      if (!error && time > newestPart) {
        newestPart = time;
      }
    };
    consider(config);
    consider(programs / "BrivaneSvc");
    consider(programs / "BrivaneServiceConsole");
    for (auto it = std::filesystem::recursive_directory_iterator(build / "packaging", error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      consider(it->path());
    }
    package_.clear();
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.path().extension() == ".deb" &&
          std::filesystem::last_write_time(entry.path(), error) > newestPart) {
        package_ = entry.path();
      }
    }
    if (!package_.empty()) {
      return;
    }
    std::filesystem::remove_all(folder, error);
    const auto built = RunCommand(
        {"cpack", "-G", "DEB", "--config", config.string(), "-B", folder.string()}, 150s);
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.path().extension() == ".deb") {
        package_ = entry.path();
      }
    }
    if (built.exitStatus != 0 || package_.empty()) {
      packageFailure_ = "cpack could not build the package:\n" + built.out + built.err;
      package_.clear();
    }
  }

  void SetUp() override {
    if (!packageSkip_.empty()) {
      GTEST_SKIP() << packageSkip_;
    }
    ASSERT_TRUE(packageFailure_.empty()) << packageFailure_;
    SystemdNamespaceTest::SetUp();
    if (IsSkipped() || HasFailure()) {
      return;
    }
    deb_ = system_->Exchange() / package_.filename();
    std::filesystem::copy_file(package_, deb_);
    // Keeps dpkg's man-db trigger from rebuilding the whole manual index in the namespace,
    // and drops a container image's policy-rc.d, which forbids maintainer scripts every
    // service restart: a machine that boots systemd has none.
    system_->Shell("rm -f /var/lib/man-db/auto-update /usr/sbin/policy-rc.d");
  }

  CommandResult Dpkg(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv = {"env", "DEBIAN_FRONTEND=noninteractive", "dpkg"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return system_->Run(argv, kDpkgTimeout);
  }

  std::string PackageStatus() const {
    return Trimmed(system_->Run({"dpkg-query", "-W", "-f=${Status}", "brivane"}).out);
  }

  bool Exists(const std::string& path) const {
    return system_->Run({"test", "-e", path}).exitStatus == 0;
  }

  void ExpectUnregistered() const {
    EXPECT_FALSE(Exists("/etc/systemd/system/Brivane.service"));
    EXPECT_FALSE(Exists("/etc/systemd/system/multi-user.target.wants/Brivane.service"));
    EXPECT_EQ(Probe({"exists", "Brivane"}), "false");
    EXPECT_TRUE(WaitFor([&] { return ServiceProcessGone(); }, 10s));
  }

  static inline std::string packageSkip_;
  static inline std::string packageFailure_;
  static inline std::filesystem::path package_;
  std::filesystem::path deb_;
};

TEST_F(PackageInstallSystemTest, InstallServesUpgradeKeepsSettingsRemoveStopsPurgeForgets) {
  // Install: the maintainer script registers the program where the package put it.
  const auto install = Dpkg({"-i", deb_.string()});
  ASSERT_EQ(install.exitStatus, 0) << install.out << install.err;
  EXPECT_EQ(PackageStatus(), "install ok installed");
  const auto unit = system_->Shell("cat /etc/systemd/system/Brivane.service");
  ASSERT_EQ(unit.exitStatus, 0) << "no unit file";
  EXPECT_NE(unit.out.find("ExecStart=\"" + std::string(kInstalledProgram) + "\"\n"),
            std::string::npos)
      << unit.out;
  EXPECT_EQ(system_->UnitProperty("Brivane.service", "UnitFileState"), "enabled");
  ExpectServing();
  EXPECT_TRUE(WaitFor([&] { return Exists(kSettings); }, 5s)) << "no Brivane.ini beside it";
  // A build without the console packages the service alone.
  EXPECT_EQ(Exists("/usr/share/applications/brivane-service-console.desktop"),
            std::filesystem::exists(BuiltProgram("BrivaneServiceConsole")));
  EXPECT_TRUE(Exists("/usr/share/man/man8/BrivaneSvc.8.gz"));

  // Upgrade (the same package again): the registration and the settings stay, and the
  // service is restarted onto the newly unpacked program.
  ASSERT_EQ(system_->Shell(std::string("printf '[Notes]\\nKeptBy=upgrade\\n' >> ") + kSettings)
                .exitStatus,
            0);
  const auto pidBefore = system_->UnitProperty("Brivane.service", "MainPID");
  const auto upgrade = Dpkg({"-i", deb_.string()});
  ASSERT_EQ(upgrade.exitStatus, 0) << upgrade.out << upgrade.err;
  EXPECT_EQ(system_->UnitProperty("Brivane.service", "UnitFileState"), "enabled");
  ExpectServing();
  EXPECT_NE(system_->UnitProperty("Brivane.service", "MainPID"), pidBefore)
      << "the service was not restarted on upgrade";
  const auto settings = system_->Shell(std::string("cat ") + kSettings);
  EXPECT_NE(settings.out.find("KeptBy=upgrade"), std::string::npos) << settings.out;
  EXPECT_NE(settings.out.find("TCPPort=8467"), std::string::npos) << settings.out;

  // Remove: the service is stopped and unregistered, the programs go, the settings stay.
  const auto remove = Dpkg({"-r", "brivane"});
  ASSERT_EQ(remove.exitStatus, 0) << remove.out << remove.err;
  EXPECT_EQ(PackageStatus(), "deinstall ok config-files");
  EXPECT_FALSE(ServiceRunning());
  ExpectUnregistered();
  EXPECT_FALSE(Exists(kInstalledProgram));
  EXPECT_FALSE(Exists("/opt/brivane/BrivaneServiceConsole"));
  EXPECT_TRUE(Exists(kSettings));

  // Purge: the settings and the folder go too.
  const auto purge = Dpkg({"-P", "brivane"});
  ASSERT_EQ(purge.exitStatus, 0) << purge.out << purge.err;
  EXPECT_FALSE(Exists(kSettings));
  EXPECT_FALSE(Exists("/opt/brivane"));
  EXPECT_NE(PackageStatus(), "deinstall ok config-files");
}

TEST_F(PackageInstallSystemTest, PurgeOfARunningInstallationLeavesNothing) {
  const auto install = Dpkg({"-i", deb_.string()});
  ASSERT_EQ(install.exitStatus, 0) << install.out << install.err;
  ExpectServing();

  const auto purge = Dpkg({"-P", "brivane"});
  ASSERT_EQ(purge.exitStatus, 0) << purge.out << purge.err;
  ExpectUnregistered();
  EXPECT_FALSE(Exists(kSettings));
  EXPECT_FALSE(Exists("/opt/brivane"));
}

TEST_F(PackageInstallSystemTest, WithoutSystemdTheInstallSucceedsAndRegistersNothing) {
  // dpkg in a mount namespace of its own where /run/systemd is empty, as in a chroot or an
  // image build: the maintainer scripts see no systemd.
  const auto install =
      system_->Run({"unshare", "--mount", "--propagation", "private", "sh", "-c",
                    "mount -t tmpfs none /run/systemd && DEBIAN_FRONTEND=noninteractive dpkg -i '" +
                        deb_.string() + "'"},
                   kDpkgTimeout);
  ASSERT_EQ(install.exitStatus, 0) << install.out << install.err;
  EXPECT_EQ(PackageStatus(), "install ok installed");
  EXPECT_TRUE(Exists(kInstalledProgram));
  EXPECT_FALSE(Exists("/etc/systemd/system/Brivane.service"));
  EXPECT_EQ(Probe({"exists", "Brivane"}), "false");

  // Registered later by hand, the package's removal still takes it away.
  const auto word = system_->Run({kInstalledProgram, "install silent"}, 60s);
  EXPECT_EQ(word.exitStatus, 0) << word.out << word.err;
  ExpectServing();
  const auto remove = Dpkg({"-r", "brivane"});
  ASSERT_EQ(remove.exitStatus, 0) << remove.out << remove.err;
  ExpectUnregistered();
}

}  // namespace
}  // namespace brivane::testing
