// The running service as clients meet it, and its stop with clients connected.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "common/udp_wire.h"
#include "tests/support/notify_socket.h"
#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/tcp_client.h"
#include "tests/support/udp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ServiceRun : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    folder = std::make_unique<ServiceFolder>("[BrivaneSvc]\nUDPBPort=" + std::to_string(port) +
                                             "\nTCPPort=" + std::to_string(port) + "\n");
    service = folder->Start({"--foreground"}, {{"NOTIFY_SOCKET", notify.Path().string()}});
    ASSERT_TRUE(notify.WaitFor("READY=1", kPatience));
  }

  std::uint16_t port = 0;
  NotifySocket notify;
  std::unique_ptr<ServiceFolder> folder;
  std::unique_ptr<ChildProcess> service;
};

TEST_F(ServiceRun, StopClosesEveryClientConnectionBeforeReportingStopped) {
  std::vector<std::unique_ptr<TcpClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<TcpClient>(port));
    ASSERT_TRUE(clients.back()->Connected());
    // The greeting shows that the service took the connection into a slot.
    const auto greeting = clients.back()->Greeting(kPatience);
    ASSERT_TRUE(greeting.has_value());
    EXPECT_THAT(*greeting, HasSubstr("v1.0.0"));
  }

  ASSERT_TRUE(service->Signal(SIGTERM));
  for (auto& client : clients) {
    EXPECT_TRUE(client->WaitForClose(kPatience));
  }
  EXPECT_TRUE(notify.WaitFor("STOPPING=1", kPatience));
  EXPECT_EQ(service->WaitForExit(kPatience), 0);
  EXPECT_THAT(EventLines(service->StderrLines()), IsEmpty());
}

TEST_F(ServiceRun, TheBufferTimerAnswersStatusAndDiscoveryQueries) {
  UdpClient console;
  ASSERT_TRUE(console.SendTo(port, "SvcCon"));
  const auto reply = console.Receive(kPatience);
  ASSERT_TRUE(reply.has_value()) << "no status reply";
  const auto fields = ParseStatusReply(*reply);
  ASSERT_TRUE(fields.has_value()) << *reply;
  EXPECT_EQ((*fields)[0], "SVCL1.0.0");
  EXPECT_EQ((*fields)[1], "127.0.0.1");
  EXPECT_EQ((*fields)[2], std::to_string(port));
  EXPECT_EQ((*fields)[6], "0") << "COMPort";

  UdpClient client;
  ASSERT_TRUE(client.SendTo(port, "OrvaTCP"));
  const auto discovery = client.Receive(kPatience);
  ASSERT_TRUE(discovery.has_value()) << "no discovery reply";
  EXPECT_EQ(discovery->rfind("\nTCP1.0.0,127.0.0.1," + std::to_string(port) + ",", 0), 0u)
      << *discovery;

  ASSERT_TRUE(service->Signal(SIGTERM));
  EXPECT_EQ(service->WaitForExit(kPatience), 0);
}

}  // namespace
}  // namespace brivane::testkit
