#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/unique_fd.h"
#include "mate/decode.h"
#include "service/serial/comm_port.h"
#include "service/serial/serial_link.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

namespace brivane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testkit::kPatience;
using testkit::MateSim;

// Reads complete pages (line feed ... carriage return) from the terminal.
std::vector<std::string> ReadPages(int fd, std::size_t wanted) {
  std::vector<std::string> pages;
  std::string pending;
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (pages.size() < wanted && Clock::now() < deadline) {
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, 100) <= 0) {
      continue;
    }
    char chunk[512];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) {
      break;
    }
    pending.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t cr; (cr = pending.find('\r')) != std::string::npos;) {
      pages.push_back(pending.substr(0, cr + 1));
      pending.erase(0, cr + 1);
    }
  }
  return pages;
}

UniqueFd OpenRaw(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd) {
    termios line{};
    tcgetattr(fd.get(), &line);
    cfmakeraw(&line);
    tcsetattr(fd.get(), TCSANOW, &line);
  }
  return fd;
}

std::vector<std::string> Fields(const std::string& page) {
  std::vector<std::string> fields;
  std::string body = page.substr(1, page.size() - 2);
  std::size_t start = 0;
  for (std::size_t comma; (comma = body.find(',', start)) != std::string::npos;) {
    fields.push_back(body.substr(start, comma - start));
    start = comma + 1;
  }
  fields.push_back(body.substr(start));
  return fields;
}

void ExpectSoundPage(const std::string& page, std::size_t length) {
  ASSERT_EQ(page.size(), length) << page;
  EXPECT_EQ(page.front(), '\n');
  EXPECT_EQ(page.back(), '\r');
  // Every character from the address on but the commas counts its code minus 48, so a
  // letter address counts too ('A' 17, 'a' 49).
  const auto lastComma = page.rfind(',');
  int sum = 0;
  for (char c : page.substr(1, lastComma - 1)) {
    if (c != ',') {
      sum += c - '0';
    }
  }
  EXPECT_EQ(page.substr(lastComma + 1, 3), std::to_string(1000 + sum).substr(1)) << page;
}

TEST(MateSimTest, SendsFramedPagesWithChecksumsAndRemovesItsLinkOnStop) {
  const testkit::TempFolder folder("mate-sim-test");
  const std::string link = (folder / "mate").string();
  MateSim sim({"--devices", "0,A,a", "--link", link, "--rate", "4"});
  const std::string path = sim.Path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(fs::read_symlink(link), path);

  UniqueFd fd = OpenRaw(link);
  ASSERT_TRUE(fd);
  const auto pages = ReadPages(fd.get(), 9);
  ASSERT_EQ(pages.size(), 9u);
  std::string addresses;
  for (const auto& page : pages) {
    ExpectSoundPage(page, 49);
    const auto fields = Fields(page);
    addresses += fields[0];
    const std::size_t expected = fields[0] == "a" ? 12 : 14;  // address and checksum included
    EXPECT_EQ(fields.size(), expected) << page;
    const auto decoded = mate::DecodePage(page);
    if (const auto* rejection = std::get_if<mate::Rejection>(&decoded)) {
      ADD_FAILURE() << page << " rejected: " << rejection->reason;
    }
  }
  // One page per device per cycle, in the order given (the first may be cut short
  // by the moment the terminal was opened).
  EXPECT_THAT(addresses.substr(3), ::testing::AnyOf("0Aa0Aa", "Aa0Aa0", "a0Aa0A"));
  fd.reset();

  sim.Process().Signal(SIGTERM);
  EXPECT_EQ(sim.Process().WaitForExit(kPatience), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(MateSimTest, SequenceNumbersAndCountEndTheRunByItself) {
  MateSim sim({"--devices", "3,B", "--sequence", "--count", "6", "--rate", "20"});
  UniqueFd fd = OpenRaw(sim.Path());
  ASSERT_TRUE(fd);
  const auto pages = ReadPages(fd.get(), 6);
  ASSERT_EQ(pages.size(), 6u);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    ExpectSoundPage(pages[i], 58);
    EXPECT_EQ(Fields(pages[i])[1], "0000000" + std::to_string(i + 1));
  }
  EXPECT_EQ(sim.Process().WaitForExit(kPatience), 0);
  fd.reset();
}

TEST(MateSimTest, SerialLinkReadsTheSimulatorThroughTheRealPort) {
  MateSim sim({"--devices", "0,A,a", "--rate", "5"});
  CommPort port(SerialDeviceMap{{2, sim.Path()}});
  std::vector<std::string> entries;
  std::vector<std::string> records;
  SerialLink link(port, {[&](std::string_view record) { records.emplace_back(record); },
                         [&](int, const std::string& text) { entries.push_back(text); }});
  link.Configure(2);
  link.CheckComTick();
  ASSERT_TRUE(port.PortOpen());
  EXPECT_EQ(port.CommPort(), 2);

  testkit::WaitFor([&] { return records.size() >= 9; }, kPatience, std::chrono::milliseconds(50),
                   [&](std::chrono::milliseconds step) {
                     poll(nullptr, 0, static_cast<int>(step.count()));
                     link.ReceiveStep();
                   });
  ASSERT_GE(records.size(), 9u);
  for (const auto& record : records) {
    EXPECT_EQ(record.size(), 47u) << record;
  }
  EXPECT_EQ(link.Equipment().FXAddresses(), "0");
  EXPECT_EQ(link.Equipment().MXAddresses(), "A");
  EXPECT_TRUE(link.Equipment().FNDCDetected());
  EXPECT_GT(link.LastDataTime(), 0);
  EXPECT_TRUE(entries.empty());

  // The simulator goes away: the hang-up closes the port.
  sim.Process().Signal(SIGTERM);
  EXPECT_EQ(sim.Process().WaitForExit(kPatience), 0);
  link.ReceiveStep();
  EXPECT_FALSE(port.PortOpen());
}

// Reads pages until one decodes to an FX page for which faulty() holds; false at the
// time-out.
bool AwaitFxPage(int fd, bool faulty) {
  const auto deadline = Clock::now() + kPatience;
  while (Clock::now() < deadline) {
    for (const auto& page : ReadPages(fd, 1)) {
      const auto decoded = mate::DecodePage(page);
      const auto* fx = std::get_if<mate::Page>(&decoded);
      if (fx == nullptr || fx->type != mate::DeviceType::Fx) {
        continue;
      }
      const auto& values = std::get<mate::FxValues>(fx->values);
      const bool fault = values.operating_mode == "FX Error" &&
                         values.errors == std::vector<std::string>{"Over temperature"} &&
                         values.warnings == std::vector<std::string>{"Fan failure"};
      const bool sound = values.error_bits == 0 && values.warning_bits == 0 &&
                         values.operating_mode == "Inverter On";
      if (faulty ? fault : sound) {
        return true;
      }
    }
  }
  return false;
}

TEST(MateSimTest, SecondUserSignalTogglesAnFxFault) {
  MateSim sim({"--devices", "0,A", "--rate", "10"});
  UniqueFd fd = OpenRaw(sim.Path());
  ASSERT_TRUE(fd);
  EXPECT_TRUE(AwaitFxPage(fd.get(), false));
  ASSERT_TRUE(sim.Process().Signal(SIGUSR2));
  EXPECT_TRUE(AwaitFxPage(fd.get(), true));
  ASSERT_TRUE(sim.Process().Signal(SIGUSR2));
  EXPECT_TRUE(AwaitFxPage(fd.get(), false));
  fd.reset();
}

TEST(MateSimTest, RejectsBadOptions) {
  MateSim sim({"--devices", "0,Z"});
  EXPECT_EQ(sim.Process().WaitForExit(kPatience), 2);
  // 'K' would be an eleventh hub port.
  MateSim eleventh({"--devices", "K"});
  EXPECT_EQ(eleventh.Process().WaitForExit(kPatience), 2);
  MateSim replayAndDevices({"--replay", "/dev/null", "--devices", "0"});
  EXPECT_EQ(replayAndDevices.Process().WaitForExit(kPatience), 2);
  MateSim emptyReplay({"--replay", "/dev/null"});
  EXPECT_EQ(emptyReplay.Process().WaitForExit(kPatience), 1);
}

}  // namespace
}  // namespace brivane
