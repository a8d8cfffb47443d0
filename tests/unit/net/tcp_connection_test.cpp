#include "service/net/tcp_connection.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/unit/net/test_loop.h"

namespace brivane {
namespace {

using testing::RunUntil;

// A service-side connection and the client's end of it, on loopback.
class TcpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    asio::ip::tcp::acceptor listener(io, {asio::ip::make_address_v4("127.0.0.1"), 0});
    client.connect(listener.local_endpoint());
    connection = std::make_shared<TcpConnection>(
        listener.accept(),
        [this](TcpConnection&, TcpConnection::Ending ending) { endings.push_back(ending); });
    connection->Start();
  }

  std::string ReadFromClient(std::size_t count) {
    std::string received;
    std::array<char, 65536> buffer{};
    while (received.size() < count) {
      if (!RunUntil(io, [&] { return client.available() > 0; })) {
        ADD_FAILURE() << "no data";
        break;
      }
      received.append(buffer.data(), client.read_some(asio::buffer(buffer)));
    }
    return received;
  }

  asio::io_context io;
  asio::ip::tcp::socket client{io};
  std::shared_ptr<TcpConnection> connection;
  std::vector<TcpConnection::Ending> endings;
};

TEST_F(TcpConnectionTest, SendsOfOneHandlerLeaveInOneWriteInOrder) {
  EXPECT_EQ(connection->PeerAddress(), "127.0.0.1");
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    std::string record = "\n";
    record += std::to_string(i);
    record += ",00,00,00,122,120\r";
    connection->Send(record);
    expected += record;
  }
  EXPECT_EQ(connection->WritesStarted(), 0u);  // nothing leaves inside the burst
  EXPECT_EQ(ReadFromClient(expected.size()), expected);
  EXPECT_EQ(connection->WritesStarted(), 1u);

  connection->Send("\nnext\r");
  EXPECT_EQ(ReadFromClient(6), "\nnext\r");
  EXPECT_EQ(connection->WritesStarted(), 2u);
  EXPECT_TRUE(endings.empty());
}

TEST_F(TcpConnectionTest, PeerCloseIsReportedOnceAndLeavesTheConnectionClosed) {
  client.close();
  ASSERT_TRUE(RunUntil(io, [&] { return !endings.empty(); }));
  EXPECT_EQ(endings, std::vector{TcpConnection::Ending::PeerClosed});
  EXPECT_FALSE(connection->Connected());
  connection->Send("\nlate\r");  // harmless once closed
  connection->Close();
  EXPECT_EQ(endings.size(), 1u);
}

TEST(TcpConnectionLifetime, AConnectionGoneWithItsReadAndWritePendingLeavesNothingBehind) {
  asio::io_context io;
  asio::ip::tcp::acceptor listener(io, {asio::ip::make_address_v4("127.0.0.1"), 0});
  asio::ip::tcp::socket client(io);
  client.open(asio::ip::tcp::v4());
  // A small window, so that a write soon waits for a client that does not read.
  client.set_option(asio::socket_base::receive_buffer_size(4096));
  client.connect(listener.local_endpoint());
  int endings = 0;
  auto connection = std::make_unique<TcpConnection>(
      listener.accept(), [&endings](TcpConnection&, TcpConnection::Ending) { ++endings; });
  connection->Start();

  // Each burst starts a write until one waits unconfirmed; then bursts only queue.
  const std::string burst(8 * 1024, 'x');
  bool writePending = false;
  for (int i = 0; i < 100 && !writePending; ++i) {
    const auto before = connection->WritesStarted();
    connection->Send(burst);
    testing::RunReady(io);
    writePending = connection->WritesStarted() == before;
  }
  ASSERT_TRUE(writePending);
  ASSERT_TRUE(connection->Connected());

  connection.reset();
  // The read and the write complete after their connection has gone.
  io.restart();
  io.run_for(std::chrono::seconds(5));
  EXPECT_EQ(endings, 0);
  EXPECT_TRUE(io.stopped());  // nothing left waiting
}

}  // namespace
}  // namespace brivane
