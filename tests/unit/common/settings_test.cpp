#include "common/settings.h"

#include <gtest/gtest.h>

#include "common/profile_file.h"
#include "tests/support/temp_folder.h"

namespace brivane {
namespace {

using testkit::ReadFile;
using testkit::TempFolder;
using testkit::WriteFile;

ServiceSettings LoadSection(const std::string& lines) {
  return LoadSettings(ProfileDocument("[BrivaneSvc]\n" + lines), "BrivaneSvc");
}

ProfileDocument Read(const std::filesystem::path& file) {
  return ProfileFile::Load(file).Document();
}

void SaveToFile(const std::filesystem::path& file, const ServiceSettings& settings) {
  auto profile = ProfileFile::Load(file);
  SaveSettings(profile.Document(), "BrivaneSvc", settings);
  EXPECT_TRUE(profile.Save());
}

TEST(ServiceSettings, NoFileGivesDefaultsAndSavingWritesTheSection) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  const auto settings = LoadSettings(Read(file), "BrivaneSvc");
  EXPECT_EQ(settings.COMPort, 0);
  EXPECT_EQ(settings.UDPBPort, 8466);
  EXPECT_EQ(settings.TCPPort, 8467);
  EXPECT_EQ(settings.IPAddress, "");
  SaveToFile(file, settings);
  EXPECT_EQ(ReadFile(file), "[BrivaneSvc]\nCOMPort=0\nUDPBPort=8466\nTCPPort=8467\n");
}

TEST(ServiceSettings, RangesAndFallbacks) {
  EXPECT_EQ(LoadSection("COMPort=256\n").COMPort, 0);
  EXPECT_EQ(LoadSection("COMPort=-1\n").COMPort, 0);
  EXPECT_EQ(LoadSection("COMPort= 3 \n").COMPort, 3);
  EXPECT_EQ(LoadSection("COMPort=255\n").COMPort, 255);
  EXPECT_EQ(LoadSection("COMPort=2.5\n").COMPort, 2);
  EXPECT_EQ(LoadSection("COMPort=99999999999\n").COMPort, 0);
  EXPECT_EQ(LoadSection("TCPPort=80abc\n").TCPPort, 80);
  EXPECT_EQ(LoadSection("TCPPort=0\n").TCPPort, 8467);
  EXPECT_EQ(LoadSection("TCPPort=65536\n").TCPPort, 8467);
  EXPECT_EQ(LoadSection("TCPPort=\n").TCPPort, 8467);
  EXPECT_EQ(LoadSection("UDPBPort=65535\n").UDPBPort, 65535);
  EXPECT_EQ(LoadSection("UDPBPort=x\n").UDPBPort, 8466);
  EXPECT_EQ(LoadSection("UDPBPort=&H2000\n").UDPBPort, 8192);
}

TEST(ServiceSettings, BadAddressesAreIgnoredAndStayInTheFile) {
  EXPECT_EQ(LoadSection("IPAddress=0.0.0.0\n").IPAddress, "");
  EXPECT_EQ(LoadSection("IPAddress=192.168.1\n").IPAddress, "");
  EXPECT_EQ(LoadSection("IPAddress=300.1.1.1\n").IPAddress, "");
  EXPECT_EQ(LoadSection("IPAddress= 127.0.0.1 \n").IPAddress, "127.0.0.1");

  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file, "[BrivaneSvc]\nCOMPort=256\nTCPPort=80abc\nIPAddress=300.1.1.1\n");
  SaveToFile(file, LoadSettings(Read(file), "BrivaneSvc"));
  EXPECT_EQ(ReadFile(file),
            "[BrivaneSvc]\nCOMPort=0\nTCPPort=80\nIPAddress=300.1.1.1\nUDPBPort=8466\n");
}

TEST(ServiceSettings, SectionIsTheExecutablesName) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  WriteFile(file, "[BrivaneSvc]\nCOMPort=4\n[OtherSvc]\nCOMPort=7\n");
  EXPECT_EQ(LoadSettings(Read(file), "OtherSvc").COMPort, 7);
  EXPECT_EQ(LoadConsoleSettings(Read(file)).ConfiguredUdpPort, 8466);
}

TEST(ConsoleSettings, StopsOneShortOfTheServicesPortRange) {
  TempFolder folder;
  const auto file = folder / "Brivane.ini";
  auto consolePort = [&](const std::string& value) {
    WriteFile(file, "[BrivaneSvc]\nUDPBPort=" + value + "\n");
    return LoadConsoleSettings(Read(file)).ConfiguredUdpPort;
  };
  EXPECT_EQ(consolePort("65535"), 8466);
  EXPECT_EQ(consolePort("65534"), 65534);
  EXPECT_EQ(consolePort("0"), 8466);
  EXPECT_EQ(consolePort("70000"), 8466);
  EXPECT_EQ(consolePort("abc"), 8466);
  EXPECT_EQ(consolePort(" 9000 "), 9000);

  WriteFile(file, "[BrivaneSvc]\nIPAddress=1.2.3\n");
  EXPECT_EQ(LoadConsoleSettings(Read(file)).ConfiguredIPAddress, "");
  WriteFile(file, "[BrivaneSvc]\nIPAddress=10.1.2.3\n");
  EXPECT_EQ(LoadConsoleSettings(Read(file)).ConfiguredIPAddress, "10.1.2.3");
  EXPECT_EQ(LoadConsoleSettings(Read(folder / "absent.ini")).ConfiguredUdpPort, 8466);
}

}  // namespace
}  // namespace brivane
