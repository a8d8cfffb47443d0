// The serial device disappears in the middle of a record, and a new one appears under
// the same mapped path.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/client_crowd.h"
#include "tests/support/ports.h"
#include "tests/support/pty_mate.h"
#include "tests/support/sequenced_records.h"
#include "tests/support/service_folder.h"
#include "tests/support/socket_table.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using std::chrono::milliseconds;

TEST(FaultSerialLoss, ServiceSurvivesThePulledDeviceAndForwardsFromItsSuccessor) {
  const std::uint16_t port = FreePort();
  ServiceFolder folder("[BrivaneSvc]\nCOMPort=1\nUDPBPort=" + std::to_string(port) +
                       "\nTCPPort=" + std::to_string(port) + "\n");
  const auto link = folder.Path() / "line";
  auto line = std::make_unique<PtyMate>(link);
  ASSERT_TRUE(line->Ready());
  folder.WriteIni(folder.ReadIni() + "[SerialDevices]\nCOM1=" + link.string() + "\n");
  const auto service = folder.Start({"--foreground"});
  ASSERT_TRUE(WaitFor([&] { return !TcpListenerAddresses(port).empty(); }, kPatience));

  ClientCrowd reader(port, 1, {});
  unsigned long last = 0;
  SequenceReader records;
  reader.onBytes = [&](int, const std::string& bytes) {
    records.Feed(bytes, [&](unsigned long sequence) { last = sequence; });
  };
  // One short record every 50 ms, well inside what one read may bring.
  unsigned long next = 1;
  auto lastWrite = std::chrono::steady_clock::now();
  const auto feed = [&] {
    if (std::chrono::steady_clock::now() - lastWrite >= milliseconds(50)) {
      lastWrite = std::chrono::steady_clock::now();
      line->Write(SequencedRecord(next++));
    }
  };
  ASSERT_TRUE(reader.PumpUntil(
      [&] {
        feed();
        return last >= 3;
      },
      kPatience))
      << "no records through the first device";

  // Half a record, then the device is gone.
  ASSERT_TRUE(line->Write(SequencedRecord(next++).substr(0, 20)));
  line->Pull();
  line.reset();
  const unsigned long firstOfSuccessor = next;
  line = std::make_unique<PtyMate>(link);
  ASSERT_TRUE(line->Ready());
  ASSERT_TRUE(reader.PumpUntil(
      [&] {
        feed();
        return last >= firstOfSuccessor + 2;
      },
      3 * kPatience))
      << "last record received " << last << ", the successor's first " << firstOfSuccessor;
  EXPECT_TRUE(service->Running());
  EXPECT_EQ(reader.Closed(), 0);
}

}  // namespace
}  // namespace brivane::testkit
