// The road of MATE records through the real service: a pseudo-terminal as the MATE,
// loopback clients as the receivers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/product.h"
#include "tests/support/bridge_service.h"
#include "tests/support/pty_mate.h"
#include "tests/support/tcp_client.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using ::testing::ElementsAreArray;

const std::string kGreeting = "Brivane Pro v1.0.0 - " + std::string(kSupportAddress);

// The records a client receives until it has count of them (fewer on a time-out).
std::vector<std::string> Records(TcpClient& client, std::size_t count) {
  std::vector<std::string> records;
  while (records.size() < count) {
    const auto record = client.Record(kPatience);
    if (!record) {
      break;
    }
    records.push_back(*record);
  }
  return records;
}

// A service whose COM1 is the test's pseudo-terminal, open and ready for bytes.
class BridgeStream : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mate.Ready());
    service = std::make_unique<BridgeService>(1, std::map<int, std::string>{{1, mate.SlavePath()}});
    ASSERT_TRUE(service->Started());
    ASSERT_TRUE(service->WaitForPortOpen(1, kPatience));
  }

  std::unique_ptr<TcpClient> Client() {
    auto client = std::make_unique<TcpClient>(service->Port());
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->Greeting(kPatience), kGreeting) << client->Unread();
    return client;
  }

  PtyMate mate;
  std::unique_ptr<BridgeService> service;
};

TEST_F(BridgeStream, RecordsReachEveryClientFramedInOrderAfterTheGreeting) {
  std::vector<std::unique_ptr<TcpClient>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(Client());
  }

  std::vector<std::string> sent;
  std::string line;
  for (int i = 0; i < 30; ++i) {
    const std::string address(1, "0Aa"[i % 3]);
    sent.push_back(address + "," + std::to_string(1000 + i) + ",00,000,1");
    line += "\n" + sent.back() + "\r";
  }
  // Several records in one write, and records cut anywhere between writes.
  for (std::size_t at = 0; at < line.size();) {
    const std::size_t piece = std::min<std::size_t>(line.size() - at, 37 + at % 50);
    ASSERT_TRUE(mate.Write(line.substr(at, piece)));
    at += piece;
    ASSERT_TRUE(mate.WaitForWaiting(0, kPatience)) << "the service stopped reading";
  }

  for (auto& client : clients) {
    EXPECT_THAT(Records(*client, sent.size()), ElementsAreArray(sent));
    EXPECT_TRUE(client->Framed()) << client->Unread();
  }
}

TEST_F(BridgeStream, OnlyWholeWellFormedRecordsAreForwarded) {
  auto client = Client();
  // Each case's records come next on the stream; anything forwarded wrongly would come
  // in their place.
  auto next = [&] { return client->Record(kPatience).value_or("(nothing)"); };

  // Text before the line feed is dropped.
  ASSERT_TRUE(mate.Write("xyz\n1,00,01\r"));
  EXPECT_EQ(next(), "1,00,01");

  // A record split over two reads is forwarded once, whole.
  ASSERT_TRUE(mate.Write("\nB,1,22"));
  ASSERT_TRUE(service->WaitForTicks(kPatience));
  ASSERT_TRUE(mate.WaitForWaiting(0, kPatience)) << "the first half was not read";
  ASSERT_TRUE(mate.Write(",33,44\r"));
  EXPECT_EQ(next(), "B,1,22,33,44");

  // A line feed inside an open record belongs to it.
  ASSERT_TRUE(mate.Write("\na,1\nb,2\r"));
  EXPECT_EQ(next(), "a,1\nb,2");

  // Empty, two-character address, no comma: dropped; an unknown address goes through.
  ASSERT_TRUE(mate.Write("\n\r\nAB,1,2\r\n5\r\nZ,1\r"));
  EXPECT_EQ(next(), "Z,1");

  // Fewer than 7 characters wait: not read, even though they close a record...
  ASSERT_TRUE(mate.Write("\n0,1\r"));
  ASSERT_TRUE(mate.WaitForWaiting(5, kPatience));
  ASSERT_TRUE(service->WaitForTicks(kPatience));
  EXPECT_EQ(mate.Waiting(), 5) << "fewer than 7 waiting characters were read";
  // ... until more come, and then all of them are read together.
  ASSERT_TRUE(mate.Write("\nK,2\r"));
  EXPECT_EQ(next(), "0,1");
  EXPECT_EQ(next(), "K,2");
  EXPECT_TRUE(client->Framed()) << client->Unread();

  // FX 1 and 0; MX B and K (not AB); a FLEXnet DC.
  const auto fields = service->Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[3], "2");
  EXPECT_EQ((*fields)[4], "2");
  EXPECT_EQ((*fields)[5], "1");
}

TEST_F(BridgeStream, ClientsTextNeverReachesThePortNorOtherClients) {
  auto talker = Client();
  auto listener = Client();
  ASSERT_TRUE(talker->Send("\n0,1,2\r"));
  ASSERT_TRUE(talker->Send("hello MATE\r\n"));
  ASSERT_TRUE(talker->Send(std::string(2000, 'x')));
  ASSERT_TRUE(
      talker->Send("a\x03"
                   "b"));
  ASSERT_TRUE(service->WaitForTicks(kPatience));

  EXPECT_EQ(mate.ReadTowardsMate(std::chrono::milliseconds(500)), "");

  ASSERT_TRUE(mate.Write("\n0,from the MATE\r"));
  EXPECT_EQ(listener->Record(kPatience), "0,from the MATE") << listener->Unread();
  EXPECT_EQ(talker->Record(kPatience), "0,from the MATE") << talker->Unread();
  EXPECT_EQ(mate.ReadTowardsMate(std::chrono::milliseconds(0)), "");
}

TEST_F(BridgeStream, ALoneEndOfTextByteClosesOnlyItsSendersConnection) {
  auto leaving = Client();
  auto staying = Client();
  ASSERT_TRUE(
      staying->Send("a\x03"
                    "b"));
  ASSERT_TRUE(leaving->Send("\x03"));
  EXPECT_TRUE(leaving->WaitForClose(kPatience));

  ASSERT_TRUE(mate.Write("\nA,after,end of text\r"));
  EXPECT_EQ(staying->Record(kPatience), "A,after,end of text") << staying->Unread();
  EXPECT_TRUE(service->WaitForStatus(
      [](const std::vector<std::string>& fields) { return fields[9] == "1"; }, kPatience))
      << "the closed connection is still counted";
}

// Written before the service opens the port, so that all of it waits at once and one
// read takes it whole.
class BridgeStreamPreloaded : public ::testing::Test {};

TEST_F(BridgeStreamPreloaded, AThousandAndTwentyFourCharactersAtARecordBoundaryAreDiscardedWhole) {
  PtyMate mate;
  ASSERT_TRUE(mate.Ready());
  std::string flood;
  for (int i = 0; flood.size() < 1100; ++i) {
    flood += "\n" + std::string(1, "7Cc"[i % 3]) + ",00,00,000,000,00,00,000,00,000,000,000\r";
  }
  ASSERT_TRUE(mate.Write(flood));
  ASSERT_TRUE(mate.WaitForWaiting(static_cast<int>(flood.size()), kPatience));

  BridgeService service(1, {{1, mate.SlavePath()}});
  ASSERT_TRUE(service.Started());
  ASSERT_TRUE(mate.WaitForWaiting(0, kPatience)) << "the service did not read the port";
  TcpClient client(service.Port());
  ASSERT_EQ(client.Greeting(kPatience), kGreeting);

  ASSERT_TRUE(mate.Write("\n0,after the flood\r"));
  EXPECT_EQ(client.Record(kPatience), "0,after the flood") << client.Unread();
  const auto fields = service.Status(kPatience);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ((*fields)[3], "1") << "FX";
  EXPECT_EQ((*fields)[4], "0") << "MX: a record of the flood was taken";
  EXPECT_EQ((*fields)[5], "0") << "FLEXnet DC: a record of the flood was taken";
}

}  // namespace
}  // namespace brivane::testkit
