// A flood of datagrams, junk and valid requests mixed, on the query port.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>

#include "tests/support/ports.h"
#include "tests/support/service_folder.h"
#include "tests/support/socket_table.h"
#include "tests/support/udp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr auto kTick = milliseconds(500);
constexpr int kRepliesPerTick = 4;

std::string Junk(std::mt19937& random) {
  static const char* const kNearMisses[] = {"SvcCon\r\n", "svccon", "OrvaTCP ",
                                            "Orva",       "",       "SvcConSvcCon"};
  if (random() % 4 == 0) {
    return kNearMisses[random() % 6];
  }
  std::string bytes(random() % 700, '\0');
  for (char& byte : bytes) {
    byte = static_cast<char>(random() % 256);
  }
  return bytes;
}

TEST(FaultUdpFlood, SurvivesAndAnswersAtMostFourRequestsPerTick) {
  const std::uint16_t port = FreePort();
  ServiceFolder folder("[BrivaneSvc]\nCOMPort=1\nUDPBPort=" + std::to_string(port) +
                       "\nTCPPort=" + std::to_string(port) +
                       "\n[SerialDevices]\nCOM1=" + "/nonexistent/brivane-line\n");
  const auto service = folder.Start({"--foreground"});
  ASSERT_TRUE(WaitFor([&] { return !UdpSocketAddresses(port).empty(); }, kPatience));

  std::mt19937 random(9);
  UdpClient flooder;
  int replies = 0;
  const auto start = Clock::now();
  for (int sent = 0; sent < 60000 && Clock::now() - start < milliseconds(3000); ++sent) {
    switch (sent % 4) {
      case 0:
        flooder.SendTo(port, "SvcCon");
        break;
      case 1:
        flooder.SendTo(port, "OrvaTCP");
        break;
      default:
        flooder.SendTo(port, Junk(random));
    }
    while (flooder.Receive(milliseconds(0))) {
      ++replies;
    }
  }
  // Replies to requests already queued come within a tick.
  while (flooder.Receive(2 * kTick)) {
    ++replies;
  }
  const auto elapsed = Clock::now() - start;
  // Every tick that can have fallen in the window, counted generously.
  const auto ticks = elapsed / kTick + 2;
  EXPECT_GT(replies, 0);
  EXPECT_LE(replies, kRepliesPerTick * ticks)
      << replies << " replies in " << std::chrono::duration_cast<milliseconds>(elapsed).count()
      << " ms";

  ASSERT_TRUE(service->Running());
  UdpClient console;
  ASSERT_TRUE(console.SendTo(port, "SvcCon"));
  const auto reply = console.Receive(kPatience);
  ASSERT_TRUE(reply.has_value()) << "no status reply after the flood";
  EXPECT_EQ(reply->rfind("\nSVCL", 0), 0u);
}

}  // namespace
}  // namespace brivane::testkit
