// brivane-gateway's dashboard side against the real BrivaneSvc and mate-sim: every
// endpoint with good and bad requests, paths that try to leave the files, the bound on
// event streams, a stream that does not read, and memory while the streams run.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/bridge_service.h"
#include "tests/support/child_process.h"
#include "tests/support/http_client.h"
#include "tests/support/mate_sim_process.h"
#include "tests/support/ports.h"
#include "tests/support/process_status.h"
#include "tests/support/service_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class GatewayWeb : public ::testing::Test {
 protected:
  void SetUp() override {
    RaiseOpenFileLimit(1024);
    ASSERT_FALSE(sim_.Path().empty());
    bridge_ = std::make_unique<BridgeService>(1, std::map<int, std::string>{{1, sim_.Path()}});
    ASSERT_TRUE(bridge_->Started());
    std::filesystem::create_directories(files_.Path() / "web" / "sub");
    ASSERT_TRUE(WriteFile(files_ / "web/index.html", "<!doctype html><title>t</title>"));
    ASSERT_TRUE(WriteFile(files_ / "web/sub/app.js", "let x = 1;"));
    ASSERT_TRUE(WriteFile(files_ / "secret.txt", "secret"));
    std::filesystem::create_symlink(files_ / "secret.txt", files_ / "web/leak.txt");
    const std::string ini = "[MQTT]\nBroker=\n[Web]\nListen=127.0.0.1:" + std::to_string(port_) +
                            "\nFiles=" + (files_ / "web").string() +
                            "\n[History]\nPath=" + (files_ / "history.db").string() + "\n";
    ASSERT_TRUE(WriteFile(files_ / "gateway.ini", ini));
    SpawnOptions options;
    options.args = {"--config", (files_ / "gateway.ini").string(),
                    "--bridge", "127.0.0.1:" + std::to_string(bridge_->Port()),
                    "--site",   "test"};
    gateway_ = std::make_unique<ChildProcess>(BinDir() / "brivane-gateway", options);
    // Ready once all three devices are known.
    ASSERT_TRUE(WaitFor(
        [&] {
          const auto reply = HttpGet(port_, "/api/state", 2s);
          return reply.status == 200 && json::parse(reply.body)["devices"].size() == 3;
        },
        kPatience, 50ms));
  }

  json Get(const std::string& target, int status) {
    const auto reply = HttpGet(port_, target, kPatience);
    EXPECT_EQ(reply.status, status) << target << "\n" << reply.head << "\n" << reply.body;
    if (reply.head.find("Content-Type: application/json") == std::string::npos) {
      return json{{"raw", reply.body}};
    }
    return json::parse(reply.body, nullptr, false);
  }

  MateSim sim_{{"--devices", "0,A,a", "--rate", "20"}};
  std::unique_ptr<BridgeService> bridge_;
  TempFolder files_;
  std::uint16_t port_ = FreePort();
  std::unique_ptr<ChildProcess> gateway_;
};

TEST_F(GatewayWeb, EndpointsAnswerGoodRequestsAndRefuseBadOnesWithJson) {
  const json state = Get("/api/state", 200);
  EXPECT_EQ(state["site"], "test");
  EXPECT_EQ(state["bridge"]["connected"], true);
  EXPECT_EQ(state["broker"]["state"], "off");
  ASSERT_EQ(state["devices"].size(), 3u);
  EXPECT_EQ(state["devices"][0]["device"], "fndc_1");  // sorted by name
  EXPECT_EQ(state["devices"][1]["device"], "fx_0");
  EXPECT_TRUE(state["devices"][1]["online"]);
  EXPECT_TRUE(state["devices"][1]["state"].contains("battery_voltage"));
  EXPECT_TRUE(state["devices"][1]["last_page"].get<std::string>().ends_with("Z"));

  const json history = Get("/api/history?device=fx_0&key=battery_voltage", 200);
  EXPECT_EQ(history["device"], "fx_0");
  EXPECT_EQ(history["to"].get<std::int64_t>() - history["from"].get<std::int64_t>(), 86400);
  EXPECT_TRUE(history["points"].is_array());
  EXPECT_EQ(Get("/api/history?device=fx_0&key=battery_voltage&from=2026-01-01T00:00:00Z&to="
                "1800000000&points=10",
                200)["from"],
            1767225600);

  const std::pair<std::string, int> bad[] = {
      {"/api/history?device=nope&key=battery_voltage", 404},
      {"/api/history?device=fx_0&key=nope", 404},
      {"/api/history?device=fx_0", 400},
      {"/api/history?device=fx_0&key=battery_voltage&from=20&to=10", 400},
      {"/api/history?device=fx_0&key=battery_voltage&from=yesterday", 400},
      {"/api/history?device=fx_0&key=battery_voltage&points=0", 400},
      {"/api/nothing", 404},
      {"/nothing.html", 404},
      {"/a%zz", 400},
      {"/a%00.html", 400},
  };
  for (const auto& [target, status] : bad) {
    const json error = Get(target, status);
    EXPECT_TRUE(error.contains("error")) << target;
  }

  // Files: the dashboard itself, and nothing outside its folder however it is asked for.
  const auto index = HttpGet(port_, "/", kPatience);
  EXPECT_EQ(index.status, 200);
  EXPECT_NE(index.head.find("text/html"), std::string::npos);
  EXPECT_EQ(index.body, "<!doctype html><title>t</title>");
  EXPECT_EQ(HttpGet(port_, "/sub/app.js", kPatience).body, "let x = 1;");
  for (const char* target :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt", "/sub/..%2f..%2fsecret.txt",
        "/leak.txt", "/..%5csecret.txt", "/%252e%252e/secret.txt", "/vendor/../secret.txt",
        "/sub/../../secret.txt", "/.%2e/secret.txt"}) {
    const auto reply = HttpGet(port_, target, kPatience);
    EXPECT_TRUE(reply.status == 403 || reply.status == 404 || reply.status == 400)
        << target << " " << reply.status;
    EXPECT_EQ(reply.body.find("secret"), std::string::npos) << target;
  }

  // Only reading; oversized and malformed heads are refused, not left hanging.
  EXPECT_EQ(HttpExchange(port_, "POST /api/state HTTP/1.1\r\nHost: a\r\n\r\n", kPatience).status,
            405);
  EXPECT_EQ(HttpExchange(port_, "GET / HTTP/1.1\r\n\r\n", kPatience).status, 400);
  EXPECT_EQ(
      HttpExchange(port_, "GET /" + std::string(10000, 'a') + " HTTP/1.1\r\n", kPatience).status,
      414);
  EXPECT_EQ(
      HttpExchange(port_, "GET / HTTP/1.1\r\nHost: a\r\nX: " + std::string(40000, 'b') + "\r\n",
                   kPatience)
          .status,
      431);
  const auto head = HttpExchange(port_, "HEAD /api/state HTTP/1.1\r\nHost: a\r\n\r\n", kPatience);
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());
  EXPECT_TRUE(gateway_->Running());
}

TEST_F(GatewayWeb, HundredStreamsLiveOneMoreIsRefusedAndOneThatDoesNotReadIsClosed) {
  const auto before = ResidentKiB(gateway_->Pid());
  std::vector<std::unique_ptr<RawConnection>> streams;
  for (int i = 0; i < 99; ++i) {
    streams.push_back(std::make_unique<RawConnection>(port_));
    ASSERT_TRUE(streams.back()->Send("GET /api/events HTTP/1.1\r\nHost: a\r\n\r\n"));
  }
  for (auto& stream : streams) {
    ASSERT_TRUE(stream->ReadUntil("event: status", kPatience)) << stream->Received();
  }
  // The hundredth stream never reads, from a small buffer.
  RawConnection idle(port_, 4096);
  ASSERT_TRUE(idle.Send("GET /api/events HTTP/1.1\r\nHost: a\r\n\r\n"));
  ASSERT_TRUE(idle.ReadUntil("text/event-stream", kPatience));
  EXPECT_EQ(HttpGet(port_, "/api/events", kPatience).status, 503);
  // Every live stream sees states as the MATE sends them.
  for (auto& stream : streams) {
    ASSERT_TRUE(stream->ReadUntil("\"device\":\"fx_0\"", kPatience));
  }
  // The idle one is closed once its backlog passes the bound; the others stay.
  bool idleClosed = false;
  std::uint64_t peak = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        for (auto& stream : streams) {
          stream->ReadUntil("\n\n", 1ms);
        }
        peak = std::max(peak, ResidentKiB(gateway_->Pid()));
        idleClosed = gateway_->WaitForStderrLine(
            [](const std::string& line) { return line.find("does not read") != std::string::npos; },
            1ms);
        return idleClosed;
      },
      60s, 20ms));
  EXPECT_TRUE(idle.WaitForClose(kPatience));
  // A slot is free again.
  RawConnection next(port_);
  ASSERT_TRUE(next.Send("GET /api/events HTTP/1.1\r\nHost: a\r\n\r\n"));
  EXPECT_TRUE(next.ReadUntil("event: state", kPatience)) << next.Received();
  EXPECT_EQ(HttpGet(port_, "/api/events", kPatience).status, 503);
  // A hundred streams cost little: each holds at most its bounded backlog.
  EXPECT_LT(peak, before + 32 * 1024) << "RSS before " << before << " KiB, peak " << peak;
  EXPECT_TRUE(gateway_->Running());
}

TEST_F(GatewayWeb, MinutesReachTheHistoryAndTheStopWritesTheOpenOne) {
  // Enough pages for a minute's worth of values, then a stop in mid-minute.
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto reply = HttpGet(port_, "/api/state", 2s);
        return reply.status == 200;
      },
      kPatience));
  gateway_->Signal(SIGTERM);
  ASSERT_EQ(gateway_->WaitForExit(kPatience), 0);
  // Started again on the same database, the minute is there.
  SpawnOptions options;
  options.args = {"--config", (files_ / "gateway.ini").string(), "--bridge", "127.0.0.1:1"};
  gateway_ = std::make_unique<ChildProcess>(BinDir() / "brivane-gateway", options);
  json history;
  ASSERT_TRUE(WaitFor(
      [&] {
        const auto reply = HttpGet(port_, "/api/history?device=mx_1&key=battery_voltage", 2s);
        if (reply.status != 200) {
          return false;
        }
        history = json::parse(reply.body);
        return !history["points"].empty();
      },
      kPatience, 50ms));
  const auto& point = history["points"].back();
  EXPECT_GT(point[1].get<double>(), 10);
  EXPECT_LE(point[2].get<double>(), point[1].get<double>());
  EXPECT_GE(point[3].get<double>(), point[1].get<double>());
}

}  // namespace
}  // namespace brivane::testkit
