// Clients that never read beside one that does, with records coming for long enough to
// pass the 64 KiB send queue bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/client_crowd.h"
#include "tests/support/ports.h"
#include "tests/support/private_network.h"
#include "tests/support/process_status.h"
#include "tests/support/pty_mate.h"
#include "tests/support/sequenced_records.h"
#include "tests/support/service_folder.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using std::chrono::milliseconds;

constexpr int kSleepers = 99;
// Long records, so that each 500 ms read carries several KiB; the read that ends one
// record carries only the head of the next, below the 1024-character guard.
constexpr std::size_t kFiller = 2900;
constexpr std::size_t kRecordHead = 12;  // LF, '0', ',', 8 digits, ','
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kGrowthBoundKiB = 256 * 1024;  // the sanitizer's own quarantine
#else
constexpr std::uint64_t kGrowthBoundKiB = 32 * 1024;
#endif

// The line is handed one piece at a time once the service has read the previous one:
// the tail of a record, its CR, and the head of the next.
class PieceWriter {
 public:
  // Well under the 500 ms between reads, so the pace stays one piece a read.
  static constexpr auto kSettle = milliseconds(200);

  explicit PieceWriter(PtyMate& line) : line_(line) {}

  // Writes the next piece once the line has stayed empty for a while, so that nothing
  // of the previous piece is still on its way into the terminal.
  void Offer() {
    const auto now = std::chrono::steady_clock::now();
    if (line_.Waiting() != 0) {
      emptySince_.reset();
      return;
    }
    if (!emptySince_) {
      emptySince_ = now;
    }
    if (now - *emptySince_ < kSettle) {
      return;
    }
    emptySince_.reset();
    std::string piece;
    if (next_ == 1) {
      piece = SequencedRecord(next_, kFiller).substr(0, kRecordHead);
    } else {
      piece = SequencedRecord(next_ - 1, kFiller).substr(kRecordHead) +
              SequencedRecord(next_, kFiller).substr(0, kRecordHead);
    }
    if (line_.Write(piece)) {
      ++next_;
    }
  }
  unsigned long Completed() const { return next_ > 1 ? next_ - 2 : 0; }

 private:
  PtyMate& line_;
  unsigned long next_ = 1;
  std::optional<std::chrono::steady_clock::time_point> emptySince_;
};

// Loopback sockets of the default namespace grow their kernel send buffer up to 4 MiB per
// client before any of it waits in the service's own queue; at the rate the line allows
// that would take many minutes. The scenario runs in a namespace whose send buffers stop
// at 64 KiB, so the service's queue bound is reached within seconds.
constexpr char kSmallSendBuffers[] = "4096 16384 65536";

void NonReadersBesideOneReader() {
  const std::uint16_t port = FreePort();
  ServiceFolder folder("[BrivaneSvc]\nCOMPort=1\nUDPBPort=" + std::to_string(port) +
                       "\nTCPPort=" + std::to_string(port) + "\n");
  PtyMate line(folder.Path() / "line");
  ASSERT_TRUE(line.Ready());
  folder.WriteIni(folder.ReadIni() + "[SerialDevices]\nCOM1=" + (folder.Path() / "line").string() +
                  "\n");
  const auto service = folder.Start({"--foreground"});
  // The kernel's tables under /proc/net are those of the main thread's namespace: probe.
  ASSERT_TRUE(WaitFor([&] { return TcpClient(port).Connected(); }, kPatience));
  ASSERT_TRUE(WaitFor([&] { return OpenTcpSockets(service->Pid()) == 1; }, kPatience))
      << "the probes' connections stay open";

  ClientCrowd reader(port, 1, {});
  std::vector<unsigned long> sequences;
  SequenceReader records;
  reader.onBytes = [&](int, const std::string& bytes) {
    records.Feed(bytes, [&](unsigned long sequence) { sequences.push_back(sequence); });
  };
  ASSERT_TRUE(reader.PumpUntil([&] { return reader.Greeted() == 1; }, kPatience));
  ClientCrowd sleepers(port, kSleepers, {.reading = false, .receiveBuffer = 4096});
  ASSERT_EQ(sleepers.Started(), kSleepers);
  ASSERT_TRUE(WaitFor([&] { return OpenTcpSockets(service->Pid()) == 2 + kSleepers; }, kPatience));
  const std::uint64_t residentBefore = ResidentKiB(service->Pid());

  const std::string closing =
      "warning 109: Closed TCP connection to 127.0.0.1. Client is not reading!";
  const auto closings = [&] {
    const auto lines = service->StderrLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), closing));
  };
  PieceWriter writer(line);
  // About 6 KiB a second reach the service; the sleepers' kernel buffers and the 64 KiB
  // queue fill within half a minute, far less than the patience given here.
  unsigned long completedWhenClosed = 0;
  ASSERT_TRUE(reader.PumpUntil(
      [&] {
        writer.Offer();
        if (completedWhenClosed == 0 && closings() >= kSleepers) {
          completedWhenClosed = writer.Completed();
        }
        // A few more records after the last closing show the reader still served.
        return completedWhenClosed != 0 && writer.Completed() >= completedWhenClosed + 3;
      },
      6 * kPatience))
      << closings() << " closings, " << writer.Completed() << " records written";
  const unsigned long completed = writer.Completed();
  ASSERT_TRUE(reader.PumpUntil([&] { return !sequences.empty() && sequences.back() >= completed; },
                               kPatience))
      << "last record received " << (sequences.empty() ? 0 : sequences.back()) << " of "
      << completed;

  std::vector<unsigned long> expected(completed);
  for (unsigned long s = 0; s < completed; ++s) {
    expected[s] = s + 1;
  }
  sequences.resize(std::min<std::size_t>(sequences.size(), completed));
  EXPECT_EQ(sequences, expected);
  EXPECT_EQ(closings(), kSleepers);
  EXPECT_EQ(reader.Closed(), 0);
  const std::uint64_t peak = PeakResidentKiB(service->Pid());
  EXPECT_LT(peak, residentBefore + kGrowthBoundKiB)
      << "resident before " << residentBefore << " KiB, peak " << peak << " KiB";
  EXPECT_TRUE(service->Running());
}

TEST(FaultSlowClients, NonReadersAreClosedAndTheReaderGetsEveryRecordInOrder) {
  RaiseOpenFileLimit(512);
  bool entered = false;
  std::string why;
  // Only this thread, and the service it starts, enter the namespace.
  std::thread scenario([&] {
    entered = EnterPrivateNetwork(kSmallSendBuffers, why);
    if (entered) {
      NonReadersBesideOneReader();
    }
  });
  scenario.join();
  if (!entered) {
    GTEST_SKIP() << why;
  }
}

}  // namespace
}  // namespace brivane::testkit
