#include "service/host/installer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace brivane {
namespace {

std::vector<std::string> UnitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
  for (const auto& each : UnitLines(text)) {
    if (each == line) {
      return true;
    }
  }
  return false;
}

TEST(InstallerTest, UnitRunsTheProgramAsARootNotifyServiceStartedWithTheSystem) {
  EXPECT_EQ(ServiceUnitPath(), "/etc/systemd/system/Brivane.service");
  const auto text = ServiceUnitText("/opt/brivane/BrivaneSvc");
  ASSERT_TRUE(text);
  EXPECT_TRUE(HasLine(*text, "Description=Brivane"));
  EXPECT_TRUE(HasLine(*text, "Type=notify"));
  EXPECT_TRUE(HasLine(*text, "ExecStart=\"/opt/brivane/BrivaneSvc\""));
  EXPECT_TRUE(HasLine(*text, "Restart=on-abnormal"));
  EXPECT_TRUE(HasLine(*text, "WantedBy=multi-user.target"));
  EXPECT_EQ(text->find("User="), std::string::npos);
  // It may write Brivane.ini beside itself and use its serial devices.
  EXPECT_TRUE(HasLine(*text, "ProtectSystem=strict"));
  EXPECT_TRUE(HasLine(*text, "ReadWritePaths=\"/opt/brivane\""));
  // Serial adapters plugged in (or whose driver loads) after the start stay reachable:
  // character devices are allowed as a class, never by driver name.
  EXPECT_TRUE(HasLine(*text, "DevicePolicy=closed"));
  EXPECT_TRUE(HasLine(*text, "DeviceAllow=char-* rw"));
  EXPECT_EQ(text->find("DeviceAllow=char-tty"), std::string::npos);
  EXPECT_TRUE(HasLine(*text, "ProtectClock=yes"));
  EXPECT_TRUE(HasLine(*text, "PrivateTmp=yes"));
  EXPECT_EQ(text->find("PrivateDevices=yes"), std::string::npos);
  EXPECT_EQ(text->find("PrivateNetwork=yes"), std::string::npos);
}

TEST(InstallerTest, AwkwardProgramPathsAreQuotedOrRefused) {
  const auto text = ServiceUnitText("/srv/my \"50%\" folder/./BrivaneSvc");
  ASSERT_TRUE(text);
  EXPECT_TRUE(HasLine(*text, R"(ExecStart="/srv/my \"50%%\" folder/BrivaneSvc")"));
  EXPECT_TRUE(HasLine(*text, R"(ReadWritePaths="/srv/my \"50%%\" folder")"));

  // A program in a temporary folder stays visible to the service.
  const auto temporary = ServiceUnitText("/tmp/try/BrivaneSvc");
  ASSERT_TRUE(temporary);
  EXPECT_EQ(temporary->find("PrivateTmp=yes"), std::string::npos);
  EXPECT_TRUE(ServiceUnitText("/tmpfiles/BrivaneSvc")->find("PrivateTmp=yes") != std::string::npos);

  EXPECT_EQ(ServiceUnitText("BrivaneSvc"), std::nullopt);
  EXPECT_EQ(ServiceUnitText("/opt/bri\nvane/BrivaneSvc"), std::nullopt);
}

}  // namespace
}  // namespace brivane
