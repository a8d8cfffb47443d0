// The service as a Raspberry Pi runs it: BrivaneSvc --foreground (under qemu when
// BRIVANE_SERVICE_EMULATOR names it) between this machine's own mate-sim on a
// pseudo-terminal and this machine's own TCP client and status query.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "common/product.h"
#include "tests/support/bridge_service.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/service_folder.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ServiceSmoke, RecordsOfEveryDeviceAndTheStatusReplyArrive) {
  std::cout << "service: " << ServiceProgram().string() << "\nemulator:";
  for (const std::string& word : ServiceEmulator()) {
    std::cout << ' ' << word;
  }
  std::cout << std::endl;

  MateSim sim({"--devices", "0,A,a"});
  ASSERT_FALSE(sim.Path().empty());
  BridgeService service(1, {{1, sim.Path()}});
  ASSERT_TRUE(service.Started()) << ::testing::PrintToString(service.Process().StderrLines());
  ASSERT_TRUE(service.WaitForPortOpen(1, kPatience));

  TcpClient client(service.Port());
  ASSERT_TRUE(client.Connected());
  EXPECT_EQ(client.Greeting(kPatience), "Brivane Pro v1.0.0 - " + std::string(kSupportAddress));
  // The simulator sends a page a second per device, in turn.
  std::set<std::string> addresses;
  for (int i = 0; i < 12 && addresses.size() < 3; ++i) {
    const auto record = client.Record(kPatience);
    ASSERT_TRUE(record.has_value()) << client.Unread();
    addresses.insert(record->substr(0, record->find(',')));
  }
  EXPECT_THAT(addresses, ElementsAre("0", "A", "a"));
  EXPECT_TRUE(client.Framed()) << client.Unread();

  // FX, MX and FLEXnet DC seen, COM1 open, one client.
  const std::string port = std::to_string(service.Port());
  EXPECT_TRUE(service.WaitForStatus(
      [](const std::vector<std::string>& f) {
        return f[3] == "1" && f[4] == "1" && f[5] == "1" && f[9] == "1";
      },
      kPatience));
  const auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_THAT(*fields,
              ElementsAre("SVCL1.0.0", "127.0.0.1", port, "1", "1", "1", "1", "1", "True", "1"));

  EXPECT_TRUE(service.Stop(kPatience)) << "no clean stop on SIGTERM";
  EXPECT_THAT(service.Events(), IsEmpty());
}

}  // namespace
}  // namespace brivane::testkit
