#include "service/net/lifetime_guard.h"

#include <memory>

#include <gtest/gtest.h>
#include <asio.hpp>

namespace brivane {
namespace {

TEST(LifetimeGuard, AHandlerRunsWhileItsOwnerLivesAndNeverAfter) {
  asio::io_context io;
  int runs = 0;
  auto owner = std::make_unique<LifetimeGuard>();
  asio::post(io, owner->Guard([&runs] { ++runs; }));
  io.run();
  EXPECT_EQ(runs, 1);

  io.restart();
  asio::post(io, owner->Guard([&runs] { ++runs; }));
  owner.reset();
  io.run();
  EXPECT_EQ(runs, 1);

  // Arguments pass through unchanged, move-only ones (an accepted socket) included.
  LifetimeGuard living;
  std::unique_ptr<int> got;
  auto handler = living.Guard([&got](std::unique_ptr<int> value) { got = std::move(value); });
  handler(std::make_unique<int>(7));
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(*got, 7);
}

}  // namespace
}  // namespace brivane
