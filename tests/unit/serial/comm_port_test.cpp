#include "service/serial/comm_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/unique_fd.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

namespace brivane {
namespace {

namespace fs = std::filesystem;
using testkit::kPatience;
using testkit::WaitFor;

// A pseudo-terminal standing in for a MATE's serial line: the test writes on the
// master; the port control opens the slave by its path.
struct Pty {
  Pty() {
    int fd = -1;
    int slave = -1;
    char name[128] = {};
    if (openpty(&fd, &slave, name, nullptr, nullptr) != 0) {
      ADD_FAILURE() << "openpty failed";
      return;
    }
    master.reset(fd);
    UniqueFd serialEnd(slave);
    path = name;
    fcntl(master.get(), F_SETFL, O_NONBLOCK);
  }
  void Write(const std::string& text) const {
    ASSERT_EQ(write(master.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseMaster() { master.reset(); }
  UniqueFd master;
  std::string path;
};

struct TempSettings {
  testkit::TempFolder folder{"brivane-comm"};
  fs::path file = folder / "Brivane.ini";
};

int ErrorNumber(const std::optional<CommError>& error) {
  return error ? error->number : 0;
}

TEST(CommPortTest, OpensMappedDeviceRawAndReadsAllWaitingBytes) {
  Pty pty;
  TempSettings settings;
  std::ofstream(settings.file) << "[SerialDevices]\nCOM5=" << pty.path << "\n";
  CommPort port(settings.file);
  EXPECT_EQ(port.CommPort(), 1);
  EXPECT_FALSE(port.PortOpen());
  EXPECT_EQ(port.InBufferCount(), 0);
  EXPECT_EQ(port.Input(), "");
  EXPECT_EQ(port.SetCommPort(5), std::nullopt);
  EXPECT_EQ(port.DevicePath(), pty.path);
  ASSERT_EQ(port.SetPortOpen(true), std::nullopt);
  EXPECT_TRUE(port.PortOpen());

  // 19200 8N1 raw, no flow control.
  const UniqueFd probe(open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_TRUE(probe);
  termios line{};
  ASSERT_EQ(tcgetattr(probe.get(), &line), 0);
  EXPECT_EQ(cfgetispeed(&line), static_cast<speed_t>(B19200));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(line.c_iflag & (ICRNL | IXON | IXOFF), 0u);
  // Held exclusively while open (qemu user-mode emulation cannot ask).
  const bool askExclusive = std::getenv("BRIVANE_UNDER_EMULATION") == nullptr;
  int exclusive = 0;
  if (askExclusive) {
    ASSERT_EQ(ioctl(probe.get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
  }

  // Every byte arrives as sent: line ends untranslated, bytes above 127 intact.
  const std::string sent = "\n1,00,01\r\n\xff\x80,2\r";
  pty.Write(sent);
  ASSERT_TRUE(
      WaitFor([&] { return port.InBufferCount() == static_cast<int>(sent.size()); }, kPatience));
  EXPECT_EQ(port.Input(), sent);
  EXPECT_EQ(port.InBufferCount(), 0);
  EXPECT_EQ(port.Input(), "");
  // An empty queue is no hang-up: the port stays open and reads on.
  EXPECT_TRUE(port.PortOpen());
  pty.Write("\nA,1,2\r");
  ASSERT_TRUE(WaitFor([&] { return port.InBufferCount() == 7; }, kPatience));
  EXPECT_EQ(port.Input(), "\nA,1,2\r");
  EXPECT_TRUE(port.PortOpen());

  // Nothing is ever written to the port.
  char echoed[16];
  EXPECT_EQ(read(pty.master.get(), echoed, sizeof echoed), -1);

  EXPECT_EQ(port.SetPortOpen(false), std::nullopt);
  EXPECT_FALSE(port.PortOpen());
  EXPECT_EQ(port.InBufferCount(), 0);
  if (askExclusive) {
    ASSERT_EQ(ioctl(probe.get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
  }
  EXPECT_EQ(port.SetPortOpen(false), std::nullopt);
}

TEST(CommPortTest, InvalidPortNumbersAndMissingDevices) {
  TempSettings settings;
  std::ofstream(settings.file) << "x";
  std::ofstream(settings.file.string() + ".map")
      << "[SerialDevices]\nCOM1=" << (settings.folder / "absent").string()
      << "\nCOM2=" << (settings.file / "under-a-file").string() << "\n";
  CommPort port(settings.file.string() + ".map");
  for (int number : {0, -1, 256, 32767}) {
    auto error = port.SetCommPort(number);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number, kInvalidPortNumber);
    EXPECT_EQ(error->description, "Invalid port number");
  }
  EXPECT_EQ(port.CommPort(), 1);
  EXPECT_EQ(ErrorNumber(port.SetPortOpen(true)), kInvalidPortNumber);  // ENOENT
  ASSERT_EQ(port.SetCommPort(2), std::nullopt);
  EXPECT_EQ(ErrorNumber(port.SetPortOpen(true)), kInvalidPortNumber);  // ENOTDIR
  EXPECT_FALSE(port.PortOpen());

  // Other failures carry errno and its text.
  CommPort notATerminal(SerialDeviceMap{{1, settings.file.string()}});
  auto error = notATerminal.SetPortOpen(true);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, ENOTTY);
  EXPECT_EQ(error->description, std::strerror(ENOTTY));
  EXPECT_FALSE(notATerminal.PortOpen());
}

TEST(CommPortTest, PortHeldElsewhereOrAlreadyOpenIs8005) {
  Pty pty;
  CommPort port(SerialDeviceMap{{1, pty.path}, {2, pty.path}});
  // Another process holds the device (a lock on another open of it).
  const UniqueFd other(open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_TRUE(other);
  ASSERT_EQ(flock(other.get(), LOCK_EX | LOCK_NB), 0);
  auto error = port.SetPortOpen(true);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number, kPortAlreadyOpen);
  EXPECT_EQ(error->description, "Port already open");
  EXPECT_FALSE(port.PortOpen());

  // Released: opens, and a second control cannot take it.
  ASSERT_EQ(flock(other.get(), LOCK_UN), 0);
  ASSERT_EQ(port.SetPortOpen(true), std::nullopt);
  CommPort second(SerialDeviceMap{{1, pty.path}});
  EXPECT_EQ(ErrorNumber(second.SetPortOpen(true)), kPortAlreadyOpen);
  EXPECT_NE(flock(other.get(), LOCK_EX | LOCK_NB), 0);

  // Changing the number or opening again while open.
  EXPECT_EQ(ErrorNumber(port.SetCommPort(2)), kPortAlreadyOpen);
  EXPECT_EQ(ErrorNumber(port.SetCommPort(1)), kPortAlreadyOpen);
  EXPECT_EQ(ErrorNumber(port.SetPortOpen(true)), kPortAlreadyOpen);
  EXPECT_EQ(port.CommPort(), 1);
  EXPECT_TRUE(port.PortOpen());

  // Closing releases the device.
  ASSERT_EQ(port.SetPortOpen(false), std::nullopt);
  EXPECT_EQ(flock(other.get(), LOCK_EX | LOCK_NB), 0);

  // The machine's console is never taken over; refused before it is opened.
  CommPort console(SerialDeviceMap{{1, "/dev/console"}});
  EXPECT_EQ(ErrorNumber(console.SetPortOpen(true)), kPortAlreadyOpen);
  EXPECT_FALSE(console.PortOpen());
}

TEST(CommPortTest, HangUpClosesThePort) {
  Pty pty;
  CommPort port;  // made before the settings were read
  port.UseSerialDevices({{1, pty.path}});
  ASSERT_EQ(port.SetPortOpen(true), std::nullopt);
  pty.Write("\n1,2,3\r");
  ASSERT_TRUE(WaitFor([&] { return port.InBufferCount() == 7; }, kPatience));
  pty.CloseMaster();  // the adapter is unplugged
  EXPECT_EQ(port.InBufferCount(), 0);
  EXPECT_FALSE(port.PortOpen());
  EXPECT_EQ(port.Input(), "");
}

TEST(CommPortTest, DestroyedWhileOpenReleasesTheDevice) {
  Pty pty;
  {
    CommPort port(SerialDeviceMap{{1, pty.path}});
    ASSERT_EQ(port.SetPortOpen(true), std::nullopt);
  }
  CommPort again(SerialDeviceMap{{1, pty.path}});
  EXPECT_EQ(again.SetPortOpen(true), std::nullopt);
}

}  // namespace
}  // namespace brivane
