// The service's life from start to stop, run as the real program from a folder of its own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "common/network_info.h"
#include "tests/support/notify_socket.h"
#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/socket_table.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kUdpNotAssigned[] =
    "error 109: The IP address specified in the INI file is not assigned to this machine. "
    "Binding UDP listener to all available IP addresses instead.";
constexpr char kTcpNotAssigned[] =
    "error 109: The IP address specified in the INI file is not assigned to this machine. "
    "Binding TCP listener to all available IP addresses instead.";

std::string Ini(std::uint16_t udpPort, std::uint16_t tcpPort, const std::string& address = "") {
  return "[BrivaneSvc]\r\nUDPBPort=" + std::to_string(udpPort) +
         "\r\nTCPPort=" + std::to_string(tcpPort) + "\r\nIPAddress=" + address + "\r\n";
}

std::string AddressInUse() {
  return std::to_string(EADDRINUSE) + ", " + std::strerror(EADDRINUSE);
}

// A foreground service whose readiness shows on a notify socket of the test's own.
struct RunningService {
  explicit RunningService(const std::string& ini) : folder(ini) {
    process = folder.Start({"--foreground"}, {{"NOTIFY_SOCKET", notify.Path().string()}});
  }
  bool Ready() { return notify.WaitFor("READY=1", kPatience); }

  ServiceFolder folder;
  NotifySocket notify;
  std::unique_ptr<ChildProcess> process;
};

TEST(ServiceStart, LoopbackAddressBindsBothListenersToLoopbackOnly) {
  const std::uint16_t port = FreePort();
  RunningService service(Ini(port, port, "127.0.0.1"));
  ASSERT_TRUE(service.Ready()) << "no READY=1";
  EXPECT_THAT(TcpListenerAddresses(port), ElementsAre("127.0.0.1"));
  EXPECT_THAT(UdpSocketAddresses(port), ElementsAre("127.0.0.1"));

  ASSERT_TRUE(service.process->Signal(SIGTERM));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 0);
  EXPECT_THAT(EventLines(service.process->StderrLines()), IsEmpty());
}

TEST(ServiceStart, ForeignAddressLogsUdpThenTcpAndBindsToAllAddresses) {
  const std::string foreign = "192.0.2.1";
  if (IsLocalIPAddress(foreign)) {
    GTEST_SKIP() << foreign << " is an address of this machine";
  }
  const std::uint16_t port = FreePort();
  RunningService service(Ini(port, port, foreign));
  ASSERT_TRUE(service.Ready());
  // The entries are written before READY=1 but read from the pipe on their own time.
  EXPECT_TRUE(service.process->WaitForStderrLine(
      [](const std::string& line) { return line == kTcpNotAssigned; }, kPatience));
  EXPECT_THAT(EventLines(service.process->StderrLines()),
              ElementsAre(kUdpNotAssigned, kTcpNotAssigned));
  EXPECT_THAT(TcpListenerAddresses(port), ElementsAre("0.0.0.0"));
  EXPECT_THAT(UdpSocketAddresses(port), ElementsAre("0.0.0.0"));
  EXPECT_TRUE(service.process->Running());

  ASSERT_TRUE(service.process->Signal(SIGTERM));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 0);
}

TEST(ServiceStart, UdpPortTakenStopsBeforeTheTcpListener) {
  const std::uint16_t udpPort = FreePort();
  const std::uint16_t tcpPort = FreePort();
  PortHolder taken(PortHolder::Protocol::kUdp, udpPort);
  ASSERT_TRUE(taken.Held()) << taken.Error();

  RunningService service(Ini(udpPort, tcpPort));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 1);
  EXPECT_THAT(
      EventLines(service.process->StderrLines()),
      ElementsAre("error 109: oService_Start: Error setting up UDP bind: " + AddressInUse()));
  EXPECT_FALSE(service.notify.WaitFor("READY=1", milliseconds(0)));
  EXPECT_TRUE(TcpPortFree(tcpPort));
}

TEST(ServiceStart, TcpPortTakenStopsAndReleasesTheUdpPort) {
  const std::uint16_t udpPort = FreePort();
  const std::uint16_t tcpPort = FreePort();
  PortHolder taken(PortHolder::Protocol::kTcp, tcpPort);
  ASSERT_TRUE(taken.Held()) << taken.Error();

  RunningService service(Ini(udpPort, tcpPort));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 1);
  EXPECT_THAT(
      EventLines(service.process->StderrLines()),
      ElementsAre("error 109: oService_Start: Error setting up TCP bind: " + AddressInUse()));
  EXPECT_FALSE(service.notify.WaitFor("READY=1", milliseconds(0)));
  EXPECT_TRUE(service.notify.WaitFor("STOPPING=1", milliseconds(0)));
  EXPECT_TRUE(UdpPortFree(udpPort));
}

TEST(ServiceStart, OutsideSystemdTheWatchdogEndsTheProcessSilently) {
  // Any text that is no command word takes the service run.
  const std::vector<std::vector<std::string>> commandLines{{}, {"INSTALL"}, {"install", "now"}};
  struct Run {
    std::unique_ptr<ServiceFolder> folder;
    std::unique_ptr<ChildProcess> process;
  };
  std::vector<Run> runs;
  const auto started = std::chrono::steady_clock::now();
  for (const auto& args : commandLines) {
    Run run;
    const std::uint16_t port = FreePort();
    run.folder = std::make_unique<ServiceFolder>(Ini(port, port));
    run.process = run.folder->Start(args);
    runs.push_back(std::move(run));
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE("command line " + std::to_string(i));
    EXPECT_EQ(runs[i].process->WaitForExit(kPatience), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, milliseconds(1000))
        << "ended before the watchdog's second was up";
    EXPECT_THAT(runs[i].process->StdoutLines(), IsEmpty());
    EXPECT_THAT(runs[i].process->StderrLines(), IsEmpty());
  }
}

TEST(ServiceStart, ASecondInstanceOfTheSameProgramEndsAtOnce) {
  const std::uint16_t port = FreePort();
  RunningService first(Ini(port, port));
  ASSERT_TRUE(first.Ready());

  auto second = first.folder.Start({"--foreground"});
  EXPECT_EQ(second->WaitForExit(kPatience), 0);
  EXPECT_THAT(second->StderrLines(), IsEmpty());
  EXPECT_THAT(second->StdoutLines(), IsEmpty());

  // A copy of the program in another folder is another program.
  const std::uint16_t otherPort = FreePort();
  RunningService elsewhere(Ini(otherPort, otherPort));
  EXPECT_TRUE(elsewhere.Ready());

  EXPECT_TRUE(first.process->Running());
  EXPECT_THAT(TcpListenerAddresses(port), ElementsAre("0.0.0.0"));
  ASSERT_TRUE(first.process->Signal(SIGTERM));
  EXPECT_EQ(first.process->WaitForExit(kPatience), 0);
  ASSERT_TRUE(elsewhere.process->Signal(SIGTERM));
  EXPECT_EQ(elsewhere.process->WaitForExit(kPatience), 0);
}

TEST(ServiceStop, SigtermEndsWithStatusZeroAndReleasesThePorts) {
  const std::uint16_t port = FreePort();
  RunningService service(Ini(port, port));
  ASSERT_TRUE(service.Ready());
  EXPECT_FALSE(TcpPortFree(port));
  EXPECT_FALSE(UdpPortFree(port));

  ASSERT_TRUE(service.process->Signal(SIGTERM));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 0);
  EXPECT_TRUE(service.notify.WaitFor("STOPPING=1", milliseconds(0)));
  EXPECT_TRUE(TcpPortFree(port));
  EXPECT_TRUE(UdpPortFree(port));
  EXPECT_THAT(EventLines(service.process->StderrLines()), IsEmpty());
}

TEST(ServiceStop, SigintStopsAForegroundRun) {
  const std::uint16_t port = FreePort();
  RunningService service(Ini(port, port));
  ASSERT_TRUE(service.Ready());
  ASSERT_TRUE(service.process->Signal(SIGINT));
  EXPECT_EQ(service.process->WaitForExit(kPatience), 0);
  EXPECT_TRUE(UdpPortFree(port));
}

}  // namespace
}  // namespace brivane::testkit
