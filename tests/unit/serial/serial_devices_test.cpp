#include "service/serial/serial_devices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "common/profile_file.h"
#include "tests/support/temp_folder.h"

namespace brivane {
namespace {

namespace fs = std::filesystem;
using testkit::TempFolder;

TEST(SerialDevicesTest, MappingFromSettingsFile) {
  const TempFolder folder;
  const fs::path ini = folder / "Brivane.ini";
  std::ofstream(ini) << "[BrivaneSvc]\nCOMPort=1\n"
                     << "[serialdevices]\n"
                     << "COM1 = /dev/pts/7 \n"
                     << "com12=/tmp/mate\n"
                     << "COM2=\n"
                     << "COM0=/dev/zero\n"
                     << "COM256=/dev/zero\n"
                     << "[Other]\nCOM3=/dev/other\n";
  const SerialDeviceMap devices = LoadSerialDevices(ProfileFile::Load(ini).Document());
  EXPECT_EQ(devices, (SerialDeviceMap{{1, "/dev/pts/7"}, {12, "/tmp/mate"}}));
  EXPECT_TRUE(LoadSerialDevices(ProfileFile::Load(folder / "missing.ini").Document()).empty());
}

TEST(SerialDevicesTest, DefaultsPreferUsbAdapterWhereItExists) {
  const SerialDeviceMap devices{{2, "/dev/mapped"}};
  const std::set<std::string> present{"/dev/ttyUSB0", "/dev/ttyUSB254"};
  const auto exists = [&](const std::string& p) { return present.count(p) > 0; };
  EXPECT_EQ(DevicePathFor(1, devices, exists), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathFor(2, devices, exists), "/dev/mapped");
  EXPECT_EQ(DevicePathFor(3, devices, exists), "/dev/ttyS2");
  EXPECT_EQ(DevicePathFor(255, devices, exists), "/dev/ttyUSB254");
}

TEST(SerialDevicesTest, ActiveConsoleIsRecognisedThroughLinks) {
  EXPECT_TRUE(IsActiveConsole("/dev/ttyS0", "tty0 ttyS0\n"));
  EXPECT_FALSE(IsActiveConsole("/dev/ttyS1", "tty0 ttyS0\n"));
  EXPECT_FALSE(IsActiveConsole("/dev/ttyS1", ""));
  EXPECT_TRUE(IsActiveConsole("/dev/console", ""));

  const TempFolder folder;
  fs::create_symlink("/dev/null", folder / "link");
  EXPECT_TRUE(IsActiveConsole((folder / "link").string(), "tty1 null"));
  EXPECT_FALSE(IsActiveConsole((folder / "link").string(), "tty1 ttyS0"));
}

}  // namespace
}  // namespace brivane
