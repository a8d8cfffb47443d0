#include "service/host/orderly_exit.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace brivane {
namespace {

class OrderlyExitTest : public ::testing::Test {
 protected:
  PostFn Post() {
    return [this](std::function<void()> step) { asio::post(io, std::move(step)); };
  }
  // Steps that record themselves; closing a connection queues that socket's close event.
  ExitSteps RecordingSteps(std::set<int> inUse) {
    ExitSteps steps;
    steps.closeSerialPort = [this] { log.push_back("port"); };
    steps.closeListener = [this] { log.push_back("listener"); };
    steps.closeUdp = [this] { log.push_back("udp"); };
    steps.slotInUse = [inUse](int slot) { return inUse.count(slot) > 0; };
    steps.closeConnection = [this](int slot) {
      log.push_back("close " + std::to_string(slot));
      asio::post(io, [this, slot] { log.push_back("closed event " + std::to_string(slot)); });
    };
    steps.destroyConnectionSockets = [this] { log.push_back("destroy"); };
    steps.endRun = [this] { log.push_back("end"); };
    return steps;
  }

  asio::io_context io;
  std::vector<std::string> log;
};

TEST_F(OrderlyExitTest, ReleasesInOrderLettingWaitingEventsRunBetween) {
  asio::post(io, [this] { log.push_back("waiting tick"); });
  RunOrderlyExit(Post(), RecordingSteps({3, 100, 7}));
  // Only the port is closed before the loop gets its turn.
  EXPECT_EQ(log, std::vector<std::string>{"port"});
  io.run();
  const std::vector<std::string> expected{
      "port",      "waiting tick",     "listener", "udp",
      "close 3",   "closed event 3",   "close 7",  "closed event 7",
      "close 100", "closed event 100", "destroy",  "end"};
  EXPECT_EQ(log, expected);
}

TEST_F(OrderlyExitTest, NoConnectionsStillDestroysAndEnds) {
  RunOrderlyExit(Post(), RecordingSteps({}));
  io.run();
  const std::vector<std::string> expected{"port", "listener", "udp", "destroy", "end"};
  EXPECT_EQ(log, expected);
}

TEST_F(OrderlyExitTest, EveryStepIsAttemptedWhenStepsFail) {
  ExitSteps steps;
  const auto fail = [this](std::string name) {
    return [this, name] {
      log.push_back(name);
      throw std::runtime_error(name);
    };
  };
  steps.closeSerialPort = fail("port");
  steps.closeListener = fail("listener");
  steps.closeUdp = fail("udp");
  steps.slotInUse = [](int slot) {
    if (slot == 1) {
      throw std::runtime_error("slot");
    }
    return slot == 2;
  };
  steps.closeConnection = [this](int slot) {
    log.push_back("close " + std::to_string(slot));
    throw std::runtime_error("close");
  };
  steps.destroyConnectionSockets = fail("destroy");
  steps.endRun = [this] { log.push_back("end"); };
  RunOrderlyExit(Post(), std::move(steps));
  io.run();
  const std::vector<std::string> expected{"port", "listener", "udp", "close 2", "destroy", "end"};
  EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace brivane
