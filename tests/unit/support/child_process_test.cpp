#include "tests/support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using namespace std::chrono_literals;

SpawnOptions Shell(const std::string& script, bool ownProcessGroup = false) {
  SpawnOptions options;
  options.args = {"-c", script};
  options.ownProcessGroup = ownProcessGroup;
  return options;
}

// Gone, or a zombie nobody has reaped yet.
bool Ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) {
    return true;
  }
  const auto state = line.rfind(") ");
  return state != std::string::npos && line.compare(state + 2, 1, "Z") == 0;
}

TEST(ChildProcess, FindsProgramsOnPathAndKeepsOutputAsWritten) {
  ChildProcess process("sh", Shell("printf 'one\\n\\ntwo'; printf 'warn' >&2; exit 3"));
  EXPECT_EQ(process.WaitForExit(kPatience), 3);
  EXPECT_TRUE(process.OutputClosed());
  EXPECT_EQ(process.StdoutText(), "one\n\ntwo");
  EXPECT_EQ(process.StdoutLines(), (std::vector<std::string>{"one", "", "two"}));
  EXPECT_EQ(process.StderrText(), "warn");
  EXPECT_TRUE(process.FirstStdoutAt().has_value());

  ChildProcess silent("true", SpawnOptions{});
  EXPECT_EQ(silent.WaitForExit(kPatience), 0);
  EXPECT_FALSE(silent.FirstStdoutAt().has_value());
  EXPECT_THROW(ChildProcess("brivane-no-such-program", SpawnOptions{}), std::runtime_error);
}

TEST(ChildProcess, OwnGroupIsSignalledWhole) {
  ChildProcess shared("sh", Shell("exit 0"));
  EXPECT_FALSE(shared.SignalGroup(0)) << "only a group of its own may be signalled";

  ChildProcess process("sh", Shell("sleep 60 & echo $!; wait", true));
  ASSERT_TRUE(WaitFor([&] { return !process.StdoutLines().empty(); }, kPatience));
  const pid_t started = static_cast<pid_t>(std::stol(process.StdoutLines().front()));
  EXPECT_EQ(::getpgid(process.Pid()), process.Pid());
  EXPECT_EQ(::getpgid(started), process.Pid());
  EXPECT_TRUE(process.SignalGroup(SIGKILL));
  EXPECT_EQ(process.WaitForExit(kPatience), 128 + SIGKILL);
  EXPECT_TRUE(WaitFor([&] { return Ended(started); }, kPatience));
}

TEST(ChildProcess, OutputHeldByWhatItStartedDoesNotHoldUpItsEnd) {
  pid_t group = -1;
  const auto start = ChildProcess::Clock::now();
  {
    ChildProcess process("sh", Shell("sleep 60 &", true));
    group = process.Pid();
    ASSERT_TRUE(WaitFor([&] { return !process.Running(); }, kPatience));
    EXPECT_FALSE(process.OutputClosed());
  }
  EXPECT_LT(ChildProcess::Clock::now() - start, 30s);
  ::kill(-group, SIGKILL);
}

}  // namespace
}  // namespace brivane::testkit
