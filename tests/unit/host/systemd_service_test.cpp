#include "service/host/systemd_service.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>

namespace brivane {
namespace {

using ::testing::HasSubstr;

TEST(SystemdService, StopSignalsThatCannotBeWatchedFailTheStart) {
  asio::io_context io;
  std::optional<int> status;
  SystemdService service(io, true, [&](int code) {
    status = code;
    io.stop();
  });
  bool started = false;
  service.OnStart([&](bool& success) { started = success = true; });
  service.WatchSignals({SIGTERM, 4096});

  ::testing::internal::CaptureStderr();
  service.StartService();
  io.run_for(std::chrono::seconds(5));
  const std::string logged = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, 1);
  EXPECT_FALSE(started);
  EXPECT_THAT(logged, HasSubstr("error 109: oService_Start: Error watching for signal 4096: "));
}

}  // namespace
}  // namespace brivane
