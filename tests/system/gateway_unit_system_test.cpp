#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/system/system_test_fixture.h"

namespace brivane::testing {
namespace {

using namespace std::chrono_literals;

std::string GatewayUnit() {
  std::ifstream file(BRIVANE_GATEWAY_UNIT);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// In place of the gateway: shows what the unit lets it see and do, then waits.
constexpr const char* kStandIn =
    "[Service]\nType=simple\nWatchdogSec=0\nExecStart=\n"
    "ExecStart=/bin/sh -c 'id -u > \"$STATE_DIRECTORY/uid\"; "
    "cat \"$CREDENTIALS_DIRECTORY/mqtt-password\" > \"$STATE_DIRECTORY/credential\" 2>&1; "
    "cat /etc/brivane/mqtt-password > \"$STATE_DIRECTORY/direct\" 2>&1; "
    "touch /etc/brivane/written 2>/dev/null; exec sleep infinity'\n";

using GatewayUnitSystemTest = SystemdNamespaceTest;

TEST_F(GatewayUnitSystemTest, ExposureStaysLowAndOnlyTheCredentialReachesTheDynamicUser) {
  AddUnit("brivane-gateway.service", GatewayUnit());

  const auto security =
      system_->Run({"systemd-analyze", "security", "--no-pager", "brivane-gateway.service"});
  std::smatch figure;
  ASSERT_TRUE(std::regex_search(
      security.out, figure, std::regex("exposure level for brivane-gateway.service: ([0-9.]+)")))
      << security.out << security.err;
  const double exposure = std::stod(figure[1]);
  RecordProperty("exposure", figure[1].str());
  std::cout << "systemd-analyze security brivane-gateway.service: " << figure[1] << "\n";
  EXPECT_LE(exposure, 2.0) << security.out;
  EXPECT_EQ(system_->UnitProperty("brivane-gateway.service", "UnitFileState"), "disabled");

  ASSERT_EQ(system_
                ->Shell("mkdir -p /etc/brivane /etc/systemd/system/brivane-gateway.service.d"
                        " && umask 077 && printf 's3cret' > /etc/brivane/mqtt-password")
                .exitStatus,
            0);
  { std::ofstream(system_->Exchange() / "stand-in.conf") << kStandIn; }
  ASSERT_EQ(system_
                ->Shell("cp " + (system_->Exchange() / "stand-in.conf").string() +
                        " /etc/systemd/system/brivane-gateway.service.d/ && systemctl "
                        "daemon-reload && systemctl start brivane-gateway.service")
                .exitStatus,
            0)
      << system_->Run({"systemctl", "status", "--no-pager", "brivane-gateway.service"}).out;
  auto stateFile = [&](const std::string& name) {
    return system_->Run({"cat", "/var/lib/brivane-gateway/" + name}).out;
  };
  ASSERT_TRUE(WaitFor([&] { return !stateFile("direct").empty(); }, 15s))
      << system_->Run({"journalctl", "--no-pager", "-u", "brivane-gateway.service"}).out;
  EXPECT_EQ(stateFile("credential"), "s3cret");
  EXPECT_NE(stateFile("direct"), "s3cret");
  EXPECT_NE(stateFile("uid"), "0\n");
  EXPECT_NE(system_->Run({"test", "-e", "/etc/brivane/written"}).exitStatus, 0);

  // Without a password file (a broker that takes anonymous clients) the unit starts too.
  ASSERT_EQ(system_
                ->Shell("systemctl stop brivane-gateway.service && rm /etc/brivane/mqtt-password"
                        " /var/lib/brivane-gateway/direct && systemctl start "
                        "brivane-gateway.service")
                .exitStatus,
            0)
      << system_->Run({"journalctl", "--no-pager", "-u", "brivane-gateway.service"}).out;
  EXPECT_TRUE(WaitFor([&] { return !stateFile("direct").empty(); }, 15s))
      << system_->Run({"journalctl", "--no-pager", "-u", "brivane-gateway.service"}).out;
  EXPECT_EQ(stateFile("credential"), "\n");
}

}  // namespace
}  // namespace brivane::testing
