#include "service/net/tcp_front.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/net/test_loop.h"

namespace brivane {
namespace {

using testing::RunReady;
using testing::RunUntil;

const std::string kGreeting = "Brivane Pro v1.0.0 - https://www.brivane.com/support\r\n";

// A loopback client that reads everything the service sends, on the test's loop.
struct Client {
  explicit Client(asio::io_context& io) : socket(io) {}

  void Connect(std::uint16_t port, int receiveBufferSize = 0) {
    socket.open(asio::ip::tcp::v4());
    if (receiveBufferSize > 0) {
      socket.set_option(asio::socket_base::receive_buffer_size(receiveBufferSize));
    }
    socket.connect({asio::ip::make_address_v4("127.0.0.1"), port});
    Read();
  }
  void Read() {
    socket.async_read_some(asio::buffer(buffer),
                           [this](const asio::error_code& error, std::size_t length) {
                             if (error) {
                               ended = true;
                               return;
                             }
                             received.append(buffer.data(), length);
                             Read();
                           });
  }
  void Write(std::string_view bytes) { asio::write(socket, asio::buffer(bytes)); }

  asio::ip::tcp::socket socket;
  std::array<char, 65536> buffer{};
  std::string received;
  bool ended = false;  // the service closed the connection
};

class TcpFrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    front.CreateConnectionSockets();
    ASSERT_EQ(front.Bind("127.0.0.1", 0), std::nullopt);
    ASSERT_EQ(front.Listen(), std::nullopt);
    port = front.LocalPort();
    ASSERT_NE(port, 0);
  }

  // Connects one more client and waits until the service has given it a slot.
  Client& Connect(int receiveBufferSize = 0) {
    const int before = SlotsInUse();
    clients.push_back(std::make_unique<Client>(io));
    clients.back()->Connect(port, receiveBufferSize);
    EXPECT_TRUE(RunUntil(io, [&] { return SlotsInUse() == before + 1; }));
    return *clients.back();
  }

  int SlotsInUse() const {
    int count = 0;
    for (int slot = 1; slot <= 100; ++slot) {
      count += front.SlotInUse(slot) ? 1 : 0;
    }
    return count;
  }

  bool AllReceived(const std::string& expected) {
    for (const auto& client : clients) {
      if (client->received.size() < expected.size()) {
        return false;
      }
    }
    return true;
  }

  asio::io_context io;
  std::vector<std::pair<int, std::string>> log;
  TcpFront front{io, [this](int type, const std::string& text) { log.emplace_back(type, text); }};
  std::uint16_t port = 0;
  std::vector<std::unique_ptr<Client>> clients;
};

TEST_F(TcpFrontTest, GreetingThenEveryRecordFramedInOrderToEveryClient) {
  for (int i = 0; i < 3; ++i) {
    Connect();
  }
  ASSERT_TRUE(RunUntil(io, [&] { return AllReceived(kGreeting); }));
  // Connections are counted by broadcasts only.
  EXPECT_EQ(front.TCPConnectionCount(), 0);

  const std::vector<std::string> records = {"0,00,00,00,122,120,00,02,000,00,254,008,000,045",
                                            "A,00,04,04,030,012,00,00,000,02,255,0000,00,041", "",
                                            "text with\r\ninside"};
  std::string expected = kGreeting;
  for (const auto& record : records) {
    front.UpdateTCP(record);
    expected += '\n' + record + '\r';
  }
  EXPECT_EQ(front.TCPConnectionCount(), 3);
  ASSERT_TRUE(RunUntil(io, [&] { return AllReceived(expected); }));
  for (const auto& client : clients) {
    EXPECT_EQ(client->received, expected);
    EXPECT_FALSE(client->ended);
  }
  EXPECT_TRUE(log.empty());
}

TEST_F(TcpFrontTest, HundredClientsAcceptedAndTheNextRefusedWithOneWarning) {
  for (int i = 0; i < 100; ++i) {
    Connect();
  }
  auto refused = std::make_unique<Client>(io);
  refused->Connect(port);
  ASSERT_TRUE(RunUntil(io, [&] { return refused->ended && !log.empty(); }));
  EXPECT_EQ(refused->received, "");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].first, 2);
  EXPECT_EQ(log[0].second, "Could not accept TCP connection from 127.0.0.1. Too many connections!");

  front.UpdateTCP("0,record");
  EXPECT_EQ(front.TCPConnectionCount(), 100);
  ASSERT_TRUE(RunUntil(io, [&] { return AllReceived(kGreeting + "\n0,record\r"); }));
  for (const auto& client : clients) {
    EXPECT_FALSE(client->ended);
  }
}

TEST_F(TcpFrontTest, LoneEndOfTextClosesAndTheSlotWaitsForTheNextBroadcast) {
  Client& first = Connect();
  Connect();
  ASSERT_TRUE(RunUntil(io, [&] { return AllReceived(kGreeting); }));
  first.Write("\x03");
  ASSERT_TRUE(RunUntil(io, [&] { return first.ended; }));
  // Stale: still reserved, so a newcomer goes to slot 3, not slot 1.
  EXPECT_TRUE(front.SlotInUse(1));
  Connect();
  EXPECT_TRUE(front.SlotInUse(3));

  front.UpdateTCP("0,record");
  EXPECT_FALSE(front.SlotInUse(1));
  EXPECT_EQ(front.TCPConnectionCount(), 2);
  Connect();
  EXPECT_TRUE(front.SlotInUse(1));
  EXPECT_FALSE(front.SlotInUse(4));
}

TEST_F(TcpFrontTest, EndOfTextAmongOtherBytesIsDiscardedLikeAnyText) {
  Client& client = Connect();
  client.Write("x\x03y");
  client.Write("\x03\x03");
  // Had any of that closed the connection, the slot would stay reserved; a clean
  // close by the client frees it at once.
  client.socket.shutdown(asio::socket_base::shutdown_send);
  ASSERT_TRUE(RunUntil(io, [&] { return !front.SlotInUse(1) && client.ended; }));
}

TEST_F(TcpFrontTest, PeerCloseFreesTheSlotAtOnceAndTheLowestFreeSlotIsReused) {
  for (int i = 0; i < 5; ++i) {
    Connect();
  }
  clients[2]->socket.close();  // slot 3
  ASSERT_TRUE(RunUntil(io, [&] { return !front.SlotInUse(3); }));
  Client& newcomer = Connect();
  EXPECT_TRUE(front.SlotInUse(3));
  EXPECT_FALSE(front.SlotInUse(6));
  ASSERT_TRUE(RunUntil(io, [&] { return newcomer.received.size() >= kGreeting.size(); }));
  EXPECT_EQ(newcomer.received, kGreeting);
}

TEST_F(TcpFrontTest, ClientThatDoesNotReadIsClosedWhileAReaderGetsEverything) {
  Client& reader = Connect(1 << 20);  // room enough to keep up from this one thread
  asio::ip::tcp::socket quiet(io);
  quiet.open(asio::ip::tcp::v4());
  quiet.set_option(asio::socket_base::receive_buffer_size(4096));
  quiet.connect({asio::ip::make_address_v4("127.0.0.1"), port});
  ASSERT_TRUE(RunUntil(io, [&] { return front.SlotInUse(2); }));

  std::string expected = kGreeting;
  const std::string padding(8000, 'x');
  for (int i = 0; log.empty() && i < 20000; ++i) {
    const std::string record = std::to_string(i) + "," + padding;
    front.UpdateTCP(record);
    expected += '\n' + record + '\r';
    RunReady(io);
  }
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].first, 2);
  EXPECT_EQ(log[0].second, "Closed TCP connection to 127.0.0.1. Client is not reading!");
  // Its slot goes the way of any lost connection.
  EXPECT_TRUE(front.SlotInUse(2));
  front.UpdateTCP("last");
  expected += "\nlast\r";
  EXPECT_FALSE(front.SlotInUse(2));
  EXPECT_EQ(front.TCPConnectionCount(), 1);

  ASSERT_TRUE(RunUntil(io, [&] { return reader.received.size() >= expected.size(); }));
  EXPECT_TRUE(reader.received == expected);
  EXPECT_FALSE(reader.ended);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(TcpFrontTest, CloseListenerAndDestroyEndEverything) {
  Client& client = Connect();
  front.CloseListener();
  asio::ip::tcp::socket late(io);
  asio::error_code error;
  late.connect({asio::ip::make_address_v4("127.0.0.1"), port}, error);
  EXPECT_EQ(error, asio::error::connection_refused);

  front.CloseConnection(1);
  ASSERT_TRUE(RunUntil(io, [&] { return client.ended; }));
  EXPECT_TRUE(front.SlotInUse(1));  // closing leaves the slot to the broadcast
  front.DestroyConnectionSockets();
  EXPECT_FALSE(front.SlotInUse(1));
  front.UpdateTCP("0,record");
  EXPECT_EQ(front.TCPConnectionCount(), 0);
}

TEST(TcpFrontSetUp, BindReportsTheFailingCallsErrorAndATakenPortFails) {
  asio::io_context io;
  TcpFront first(io, nullptr);
  EXPECT_EQ(first.LocalPort(), 0);
  first.CreateConnectionSockets();
  ASSERT_EQ(first.Bind("", 0), std::nullopt);  // every address
  ASSERT_EQ(first.Listen(), std::nullopt);
  const std::uint16_t taken = first.LocalPort();
  ASSERT_NE(taken, 0);

  TcpFront second(io, nullptr);
  auto error = second.Bind("127.0.0.1", taken);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, EADDRINUSE);
  EXPECT_EQ(error->description, std::strerror(EADDRINUSE));

  error = second.Bind("192.0.2.1", 0);  // not an address of this machine
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, EADDRNOTAVAIL);

  error = second.Bind("not an address", 0);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number, EINVAL);
  EXPECT_EQ(error->description, std::strerror(EINVAL));

  // Listening on a socket that was never bound fails too, and reports why.
  TcpFront unbound(io, nullptr);
  EXPECT_TRUE(unbound.Listen().has_value());
}

TEST(GreetingLine, NamesVersionAndSupportAddressAndEndsInCarriageReturnLineFeed) {
  EXPECT_EQ(GreetingLine(), kGreeting);
}

}  // namespace
}  // namespace brivane
