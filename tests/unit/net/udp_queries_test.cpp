#include "service/net/udp_queries.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "tests/unit/net/test_loop.h"

namespace brivane {
namespace {

using testing::RunUntil;

constexpr std::int64_t kNoon = 1'780'000'000;

asio::ip::address_v4 Address(const char* text) {
  return asio::ip::make_address_v4(text);
}

class UdpQueriesTest : public ::testing::Test {
 protected:
  UdpQueriesTest() {
    values.tcpPort = 8467;
    values.equipment = EquipmentSeen{1, 2, false};
    values.CommPort = 3;
    values.PortOpen = true;
    values.TCPConnectionCount = 2;
  }

  void Bind(const std::string& address) {
    ASSERT_EQ(queries.Bind(address, 0), std::nullopt);
    port = queries.LocalPort();
    ASSERT_NE(port, 0);
  }

  asio::ip::udp::socket Client(const char* from = "127.0.0.1") {
    asio::ip::udp::socket client(io);
    client.open(asio::ip::udp::v4());
    client.bind({Address(from), 0});
    return client;
  }

  // Sends and waits until the service has taken the datagram off its socket.
  void Send(asio::ip::udp::socket& client, std::string_view payload, const char* to = "127.0.0.1") {
    const std::uint64_t before = queries.DatagramsRead();
    client.send_to(asio::buffer(payload.data(), payload.size()), {Address(to), port});
    ASSERT_TRUE(RunUntil(io, [&] { return queries.DatagramsRead() > before; }));
  }

  // The next datagram that reaches the client, and where it came from.
  std::string Receive(asio::ip::udp::socket& client, asio::ip::udp::endpoint* from = nullptr) {
    if (!RunUntil(io, [&] { return client.available() > 0; })) {
      ADD_FAILURE() << "no reply";
      return {};
    }
    std::array<char, 2048> buffer{};
    asio::ip::udp::endpoint sender;
    const std::size_t length = client.receive_from(asio::buffer(buffer), sender);
    if (from != nullptr) {
      *from = sender;
    }
    return std::string(buffer.data(), length);
  }

  std::string StatusReplyWith(std::int32_t count, const std::string& address = "127.0.0.1") {
    StatusValues expected = values;
    expected.serviceAddress = address;
    expected.TCPConnectionCount = count;
    return BuildStatusReply(expected);
  }

  asio::io_context io;
  StatusValues values;
  int sourceReads = 0;
  std::int64_t now = kNoon;
  UdpQueries queries{io,
                     [this] {
                       ++sourceReads;
                       return values;
                     },
                     [this] { return now; }};
  std::uint16_t port = 0;
};

TEST_F(UdpQueriesTest, StatusReplyIsBuiltAtSendingAndComesFromTheServicePort) {
  Bind("127.0.0.1");
  auto client = Client();
  Send(client, "SvcCon");
  values.TCPConnectionCount = 7;  // changes before the step reach the reply
  EXPECT_EQ(sourceReads, 0);
  queries.ReplyStep();
  EXPECT_EQ(sourceReads, 1);

  asio::ip::udp::endpoint from;
  const std::string reply = Receive(client, &from);
  EXPECT_EQ(reply, "\nSVCL1.0.0,127.0.0.1,8467,1,2,0,0,3,True,7\r");
  EXPECT_EQ(from.port(), port);
  const auto fields = ParseStatusReply(reply);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->size(), 10u);

  // The queue was emptied: another step sends nothing more.
  queries.ReplyStep();
  EXPECT_EQ(sourceReads, 1);
}

TEST_F(UdpQueriesTest, OnlyExactKeywordsAreAnswered) {
  Bind("127.0.0.1");
  auto client = Client();
  for (const std::string_view payload :
       {std::string_view("svccon"), std::string_view("SVCCON"), std::string_view("SvcCon\r\n"),
        std::string_view("SvcCon "), std::string_view(" SvcCon"), std::string_view(""),
        std::string_view("orvatcp"), std::string_view("OrvaTCP\n"), std::string_view("SvcCon\0", 7),
        std::string_view("SvcConSvcCon")}) {
    Send(client, payload);
  }
  queries.ReplyStep();
  EXPECT_EQ(sourceReads, 0);

  // Had any of those been answered, its reply would arrive ahead of this one.
  values.TCPConnectionCount = 42;
  Send(client, "SvcCon");
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), StatusReplyWith(42));
  EXPECT_EQ(client.available(), 0u);
}

TEST_F(UdpQueriesTest, FiveRequestsInOneIntervalGetFourReplies) {
  Bind("127.0.0.1");
  auto client = Client();
  for (int i = 0; i < 5; ++i) {
    Send(client, "SvcCon");
  }
  queries.ReplyStep();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Receive(client), StatusReplyWith(2));
  }
  values.TCPConnectionCount = 9;
  Send(client, "SvcCon");
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), StatusReplyWith(9));  // not a fifth reply of the first batch
}

TEST_F(UdpQueriesTest, RepeatedDiscoveryFromOneSenderIsAnsweredAfterAPause) {
  Bind("127.0.0.1");
  auto client = Client();
  StatusValues expected = values;
  expected.serviceAddress = "127.0.0.1";
  const std::string discoveryReply = BuildDiscoveryReply(expected);

  Send(client, "OrvaTCP");
  Send(client, "OrvaTCP");  // same second
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), discoveryReply);
  values.TCPConnectionCount = 5;
  Send(client, "SvcCon");  // status requests are never suppressed
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), StatusReplyWith(5));

  now += 5;
  Send(client, "OrvaTCP");
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), discoveryReply);
}

TEST_F(UdpQueriesTest, DiscoveryFromTwoSendersInAlternationIsAllAnswered) {
  Bind("127.0.0.1");
  auto first = Client("127.0.0.1");
  auto second = Client("127.0.0.2");
  for (int i = 0; i < 2; ++i) {
    Send(first, "OrvaTCP");
    Send(second, "OrvaTCP");
  }
  queries.ReplyStep();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Receive(first).substr(0, 4), "\nTCP");
    EXPECT_EQ(Receive(second).substr(0, 4), "\nTCP");
  }
}

TEST_F(UdpQueriesTest, ServiceAddressIsTheAddressTheRequestReached) {
  Bind("");  // every address
  auto client = Client();
  for (const char* local : {"127.0.0.2", "127.0.0.1", "127.0.0.3"}) {
    Send(client, "SvcCon", local);
    queries.ReplyStep();
    asio::ip::udp::endpoint from;
    EXPECT_EQ(Receive(client, &from), StatusReplyWith(2, local));
    EXPECT_EQ(from.address().to_string(), local);  // answered from that same address
  }
}

TEST_F(UdpQueriesTest, AFailedReplyIsSurvivedAndNotRetried) {
  Bind("127.0.0.1");
  auto gone = Client();
  Send(gone, "SvcCon");
  gone.close();
  queries.ReplyStep();  // its reply meets a closed port

  auto client = Client();
  Send(client, "SvcCon");
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), StatusReplyWith(2));
  EXPECT_EQ(sourceReads, 2);
  queries.ReplyStep();
  EXPECT_EQ(sourceReads, 2);
}

TEST_F(UdpQueriesTest, CloseDropsWaitingRequestsAndBindWorksAgain) {
  Bind("127.0.0.1");
  auto client = Client();
  Send(client, "SvcCon");
  queries.Close();
  queries.ReplyStep();
  EXPECT_EQ(sourceReads, 0);
  EXPECT_EQ(queries.LocalPort(), 0);

  Bind("127.0.0.1");
  Send(client, "SvcCon");
  queries.ReplyStep();
  EXPECT_EQ(Receive(client), StatusReplyWith(2));
}

TEST(UdpQueriesSetUp, ATakenPortFailsWithTheBindError) {
  asio::io_context io;
  UdpQueries first(io, nullptr);
  ASSERT_EQ(first.Bind("127.0.0.1", 0), std::nullopt);
  UdpQueries second(io, nullptr);
  const auto error = second.Bind("", first.LocalPort());
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, EADDRINUSE);
  EXPECT_EQ(error->description, std::strerror(EADDRINUSE));
  EXPECT_EQ(second.Bind("1.2.3", 0)->number, EINVAL);
}

}  // namespace
}  // namespace brivane
