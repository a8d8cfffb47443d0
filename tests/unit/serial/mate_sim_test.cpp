#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/unique_fd.h"
#include "mate/decode.h"
#include "service/serial/comm_port.h"
#include "service/serial/serial_link.h"

extern char** environ;

namespace brivane {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The simulator as a child process with its standard output on a pipe.
class MateSim {
 public:
  explicit MateSim(std::vector<std::string> arguments) {
    const char* bin = std::getenv("BRIVANE_BIN_DIR");
    if (bin == nullptr) {
      return;
    }
    const std::string program = (fs::path(bin) / "mate-sim").string();
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (auto& a : arguments) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
      return;
    }
    UniqueFd writeEnd(out[1]);
    stdout_.reset(out[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
  }
  ~MateSim() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }

  // The first line the simulator prints: its terminal's path.
  std::string ReadPath() {
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    char c;
    while (Clock::now() < deadline) {
      pollfd watch{stdout_.get(), POLLIN, 0};
      if (poll(&watch, 1, 100) > 0) {
        if (read(stdout_.get(), &c, 1) != 1 || c == '\n') {
          break;
        }
        line += c;
      }
    }
    return line;
  }

  void Signal(int number) const { kill(pid_, number); }

  // The exit status, or -1 when it does not end within the time-out.
  int Wait() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      poll(nullptr, 0, 10);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  UniqueFd stdout_;
};

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
  const fs::path folder = fs::temp_directory_path() / ("mate-sim-test-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const std::string link = (folder / "mate").string();
  MateSim sim({"--devices", "0,A,a", "--link", link, "--rate", "4"});
  if (!sim.Started()) {
    GTEST_SKIP() << "mate-sim not found (BRIVANE_BIN_DIR unset)";
  }
  const std::string path = sim.ReadPath();
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

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  fs::remove_all(folder);
}

TEST(MateSimTest, SequenceNumbersAndCountEndTheRunByItself) {
  MateSim sim({"--devices", "3,B", "--sequence", "--count", "6", "--rate", "20"});
  if (!sim.Started()) {
    GTEST_SKIP() << "mate-sim not found (BRIVANE_BIN_DIR unset)";
  }
  const std::string path = sim.ReadPath();
  UniqueFd fd = OpenRaw(path);
  ASSERT_TRUE(fd);
  const auto pages = ReadPages(fd.get(), 6);
  ASSERT_EQ(pages.size(), 6u);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    ExpectSoundPage(pages[i], 58);
    EXPECT_EQ(Fields(pages[i])[1], "0000000" + std::to_string(i + 1));
  }
  EXPECT_EQ(sim.Wait(), 0);
  fd.reset();
}

TEST(MateSimTest, SerialLinkReadsTheSimulatorThroughTheRealPort) {
  MateSim sim({"--devices", "0,A,a", "--rate", "5"});
  if (!sim.Started()) {
    GTEST_SKIP() << "mate-sim not found (BRIVANE_BIN_DIR unset)";
  }
  CommPort port(SerialDeviceMap{{2, sim.ReadPath()}});
  std::vector<std::string> entries;
  std::vector<std::string> records;
  SerialLink link(port, {[&](std::string_view record) { records.emplace_back(record); },
                         [&](int, const std::string& text) { entries.push_back(text); }});
  link.Configure(2);
  link.CheckComTick();
  ASSERT_TRUE(port.PortOpen());
  EXPECT_EQ(port.CommPort(), 2);

  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (records.size() < 9 && Clock::now() < deadline) {
    poll(nullptr, 0, 50);
    link.ReceiveStep();
  }
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
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  link.ReceiveStep();
  EXPECT_FALSE(port.PortOpen());
}

TEST(MateSimTest, RejectsBadOptions) {
  MateSim sim({"--devices", "0,Z"});
  if (!sim.Started()) {
    GTEST_SKIP() << "mate-sim not found (BRIVANE_BIN_DIR unset)";
  }
  EXPECT_EQ(sim.Wait(), 2);
  // 'K' would be an eleventh hub port.
  MateSim eleventh({"--devices", "K"});
  EXPECT_EQ(eleventh.Wait(), 2);
  MateSim replayAndDevices({"--replay", "/dev/null", "--devices", "0"});
  EXPECT_EQ(replayAndDevices.Wait(), 2);
  MateSim emptyReplay({"--replay", "/dev/null"});
  EXPECT_EQ(emptyReplay.Wait(), 1);
}

}  // namespace
}  // namespace brivane
