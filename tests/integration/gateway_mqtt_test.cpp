// brivane-gateway between the real BrivaneSvc (its MATE a pseudo-terminal the test
// writes pages to) and a private mosquitto.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <variant>

#include <nlohmann/json.hpp>

#include "mate/decode.h"
#include "mate/page_json.h"
#include "tests/support/bridge_service.h"
#include "tests/support/child_process.h"
#include "tests/support/discovery_check.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/notify_socket.h"
#include "tests/support/ports.h"
#include "tests/support/pty_mate.h"
#include "tests/support/service_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

std::string WithChecksum(const std::string& body) {
  int sum = 0;
  for (char c : body) {
    sum += c == ',' ? 0 : c - '0';
  }
  char tail[8];
  std::snprintf(tail, sizeof tail, ",%03d", sum % 1000);
  return body + tail;
}

// An FX on the MATE's own port, an MX on hub port 2 and a FLEXnet DC on hub port 1.
const std::string kFxA = "0,00,00,00,119,000,00,00,000,01,254,008,000,031";
const std::string kFxB = "0,00,00,00,120,000,00,02,000,01,254,008,000,025";
const std::string kMx = "B,00,24,18,082,045,05,65,000,02,264,0105,00,088";
std::string FndcPage(int kind) {
  char extra[16];
  std::snprintf(extra, sizeof extra, "%02d,%05d", kind, 100 + kind);
  return WithChecksum("a,0150,0043,0000," + std::string(extra) + ",252,085,001,18,22");
}

json Values(json state) {
  state.erase("time");
  return state;
}

json Decoded(const std::string& page) {
  const auto decoded = mate::DecodePage(page);
  return Values(mate::PageJson(std::get<mate::Page>(decoded), std::chrono::system_clock::now()));
}

// The MATE: a page per device five times a second; devices can fall silent and the FX's
// values can keep changing.
class MateWriter {
 public:
  explicit MateWriter(PtyMate& line) : line_(line), thread_([this] { Run(); }) {}
  ~MateWriter() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<bool> fx{true}, mx{true}, fndc{true}, fxChanging{false};

 private:
  void Run() {
    for (int round = 0; !stop_; ++round) {
      std::string bytes;
      if (fx) {
        bytes += "\n" + (fxChanging && round % 2 == 1 ? kFxB : kFxA) + "\r";
      }
      if (mx) {
        bytes += "\n" + kMx + "\r";
      }
      if (fndc) {
        bytes += "\n" + FndcPage(round % 14) + "\r";
      }
      if (line_.Waiting() < 2048) {  // a stopped bridge does not take them
        line_.Write(bytes);
      }
      std::this_thread::sleep_for(200ms);
    }
  }
  PtyMate& line_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// BrivaneSvc on a port the test keeps, so that it can be stopped and started again.
class Bridge {
 public:
  Bridge(std::uint16_t port, const std::string& device)
      : folder_(BridgeIni(port, 1, {{1, device}})) {
    process_ = folder_.Start({"--foreground"}, {{"NOTIFY_SOCKET", notify_.Path().string()}});
    started_ = notify_.WaitFor("READY=1", kPatience);
  }
  ~Bridge() { Stop(); }
  bool Started() const { return started_; }
  void Stop() {
    if (process_->Running()) {
      process_->Signal(SIGTERM);
      process_->WaitForExit(kPatience);
    }
  }

 private:
  NotifySocket notify_;
  ServiceFolder folder_;
  std::unique_ptr<ChildProcess> process_;
  bool started_ = false;
};

const std::vector<std::string> kTopics = {"brivane/#", "homeassistant/#"};
const std::vector<std::string> kDevices = {"fx_0", "mx_2", "fndc_1"};

bool IsText(const MqttMessage& message, const std::string& text) {
  return message.payload == text && message.retained;
}

// Waits until a fresh subscriber holds every retained topic the gateway owns, as
// Home Assistant sees them when it starts.
std::vector<MqttMessage> RetainedEverything(const MqttBroker& broker,
                                            std::chrono::milliseconds timeout) {
  MqttSubscriber fresh(broker, kTopics);
  std::vector<std::string> wanted = {"brivane/test/status",
                                     "homeassistant/device/brivane_test/config"};
  for (const auto& device : kDevices) {
    wanted.push_back("brivane/test/" + device + "/state");
    wanted.push_back("brivane/test/" + device + "/availability");
    wanted.push_back("homeassistant/device/brivane_test_" + device + "/config");
  }
  for (const auto& topic : wanted) {
    if (!fresh.WaitFor(
            topic, [](const MqttMessage& m) { return m.retained; }, timeout)) {
      ADD_FAILURE() << "nothing retained on " << topic;
    }
  }
  return fresh.Messages();
}

class GatewayMqtt : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(line_.Ready());
    bridge_ = std::make_unique<Bridge>(bridgePort_, line_.SlavePath());
    ASSERT_TRUE(bridge_->Started());
    writer_ = std::make_unique<MateWriter>(line_);
  }

  std::unique_ptr<ChildProcess> StartGateway(const MqttBroker& broker,
                                             std::vector<std::string> extra = {},
                                             std::string ini = "") {
    const auto iniFile = iniFolder_.Path() / "gateway.ini";
    // No dashboard on its fixed port and no history in the test's folder.
    ini +=
        "\n[Web]\nListen=\n[History]\nPath=" + (iniFolder_.Path() / "history.db").string() + "\n";
    std::FILE* file = std::fopen(iniFile.c_str(), "w");
    std::fputs(ini.c_str(), file);
    std::fclose(file);
    std::vector<std::string> args = {"--config",
                                     iniFile.string(),
                                     "--bridge",
                                     "127.0.0.1:" + std::to_string(bridgePort_),
                                     "--site",
                                     "test",
                                     "--interval",
                                     "1",
                                     "--test-silence-ms",
                                     "2000",
                                     "--test-refresh-ms",
                                     "3000"};
    if (ini.find("Broker") == std::string::npos) {
      args.push_back("--broker");
      args.push_back("127.0.0.1:" + std::to_string(broker.Port()));
    }
    args.insert(args.end(), extra.begin(), extra.end());
    SpawnOptions options;
    options.args = args;
    options.environment["NOTIFY_SOCKET"] = notify_.Path().string();
    return std::make_unique<ChildProcess>(BinDir() / "brivane-gateway", options);
  }

  std::uint16_t bridgePort_ = FreePort();
  PtyMate line_;
  std::unique_ptr<Bridge> bridge_;
  std::unique_ptr<MateWriter> writer_;
  ServiceFolder iniFolder_;
  NotifySocket notify_;
};

TEST_F(GatewayMqtt, RetainedStatesMatchDecodedPagesAndDiscoveryPassesTheChecker) {
  MqttBroker broker;
  MqttSubscriber live(broker, kTopics);
  auto gateway = StartGateway(broker);
  ASSERT_TRUE(notify_.WaitFor("READY=1", kPatience));
  ASSERT_TRUE(live.WaitFor(
      "brivane/test/status", [](const MqttMessage& m) { return IsText(m, "online"); }, kPatience));

  // Every state, availability and config retained; the values those of the pages.
  const auto retained = RetainedEverything(broker, kPatience);
  std::map<std::string, json> latest;
  for (const auto& message : retained) {
    if (message.topic.ends_with("/state")) {
      latest[message.topic] = Values(json::parse(message.payload));
    }
  }
  EXPECT_EQ(latest["brivane/test/fx_0/state"], Decoded(kFxA));
  EXPECT_EQ(latest["brivane/test/mx_2/state"], Decoded(kMx));
  const json fndc = latest["brivane/test/fndc_1/state"];
  const json fndcPage = Decoded(FndcPage(0));
  for (const auto& [key, value] : fndcPage.items()) {
    if (key != "raw" && key != "shunt_a_accumulated_ah") {
      EXPECT_EQ(fndc[key], value) << key;
    }
  }
  // A FLEXnet DC state carries the extra data of earlier pages, not only its own.
  ASSERT_TRUE(live.WaitFor(
      "brivane/test/fndc_1/state",
      [](const MqttMessage& m) {
        const auto state = json::parse(m.payload);
        return state.contains("net_battery_kwh") && state.contains("shunt_a_accumulated_ah");
      },
      kPatience));
  const auto check = CheckDiscovery(RetainedEverything(broker, kPatience));
  EXPECT_EQ(check.exitStatus, 0);
  for (const auto& fault : check.faults) {
    ADD_FAILURE() << fault;
  }

  // Home Assistant's birth: configs and states again, after 1 to 5 seconds.
  live.Clear();
  const auto birth = std::chrono::steady_clock::now();
  live.Publish("homeassistant/status", "online");
  for (const auto& device : kDevices) {
    EXPECT_TRUE(
        live.WaitFor("homeassistant/device/brivane_test_" + device + "/config", nullptr, 10s))
        << device;
  }
  const auto after = std::chrono::steady_clock::now() - birth;
  EXPECT_GE(after, 900ms);
  EXPECT_LE(after, 7s);
  EXPECT_TRUE(live.WaitFor("homeassistant/device/brivane_test/config", nullptr, 1s));

  // Unchanged values: refreshed (here every 3 s), not once per page.
  const auto gaps = [&](const std::string& topic, int count) {
    std::vector<std::chrono::milliseconds> result;
    live.Clear();
    EXPECT_TRUE(live.WaitFor(topic, nullptr, 10s));
    auto last = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      live.Clear();
      EXPECT_TRUE(live.WaitFor(topic, nullptr, 10s));
      const auto now = std::chrono::steady_clock::now();
      result.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
      last = now;
    }
    return result;
  };
  for (const auto gap : gaps("brivane/test/mx_2/state", 2)) {
    EXPECT_GE(gap, 2500ms);
    EXPECT_LE(gap, 4500ms);
  }
  // Values changing with every page: once per interval (1 s), the latest values.
  writer_->fxChanging = true;
  ASSERT_TRUE(live.WaitFor(
      "brivane/test/fx_0/state",
      [](const MqttMessage& m) { return Values(json::parse(m.payload)) == Decoded(kFxB); },
      kPatience));
  for (const auto gap : gaps("brivane/test/fx_0/state", 3)) {
    EXPECT_GE(gap, 800ms);
    EXPECT_LE(gap, 2500ms);
  }

  // A clean stop: offline, STOPPING=1, status 0.
  live.Clear();
  gateway->Signal(SIGTERM);
  EXPECT_EQ(gateway->WaitForExit(kPatience), 0);
  EXPECT_TRUE(notify_.WaitFor("STOPPING=1", kPatience));
  EXPECT_TRUE(live.WaitFor(
      "brivane/test/status", [](const MqttMessage& m) { return IsText(m, "offline"); }, kPatience));
}

TEST_F(GatewayMqtt, AvailabilityFollowsDevicesBridgeAndBroker) {
  MqttBroker broker;
  MqttSubscriber live(broker, kTopics);
  auto gateway = StartGateway(broker);
  for (const auto& device : kDevices) {
    ASSERT_TRUE(live.WaitFor(
        "brivane/test/" + device + "/availability",
        [](const MqttMessage& m) { return IsText(m, "online"); }, kPatience));
  }
  const auto offline = [](const MqttMessage& m) { return IsText(m, "offline"); };
  const auto online = [](const MqttMessage& m) { return IsText(m, "online"); };

  // A device that falls silent goes offline; the others and the gateway stay online.
  live.Clear();
  writer_->mx = false;
  const auto silentSince = std::chrono::steady_clock::now();
  ASSERT_TRUE(live.WaitFor("brivane/test/mx_2/availability", offline, kPatience));
  EXPECT_LE(std::chrono::steady_clock::now() - silentSince, 4s);  // silence here: 2 s
  writer_->mx = true;
  ASSERT_TRUE(live.WaitFor("brivane/test/mx_2/availability", online, kPatience));
  for (const auto& message : live.Messages()) {
    EXPECT_FALSE(message.payload == "offline" && message.topic != "brivane/test/mx_2/availability")
        << message.topic;
  }

  // BrivaneSvc stops: every device offline, the gateway itself still online; back after.
  live.Clear();
  bridge_->Stop();
  for (const auto& device : kDevices) {
    EXPECT_TRUE(live.WaitFor("brivane/test/" + device + "/availability", offline, kPatience))
        << device;
  }
  EXPECT_FALSE(live.WaitFor("brivane/test/status", nullptr, 500ms));
  bridge_ = std::make_unique<Bridge>(bridgePort_, line_.SlavePath());
  ASSERT_TRUE(bridge_->Started());
  for (const auto& device : kDevices) {
    EXPECT_TRUE(live.WaitFor("brivane/test/" + device + "/availability", online, kPatience))
        << device;
  }

  // The broker restarts without its retained messages: all of them are back soon.
  broker.Restart();
  ASSERT_TRUE(live.WaitForSubscribed(kPatience));
  const auto restarted = std::chrono::steady_clock::now();
  RetainedEverything(broker, 10s);
  EXPECT_LE(std::chrono::steady_clock::now() - restarted, 10s);  // one default interval

  // Killed outright: the broker says offline for it (the last will).
  live.Clear();
  gateway->Signal(SIGKILL);
  EXPECT_TRUE(live.WaitFor("brivane/test/status", offline, kPatience));
  // Only its own log lines: one per change of connection state, none per retry.
  const auto lines = gateway->StderrLines();
  EXPECT_LE(lines.size(), 8u);
}

TEST_F(GatewayMqtt, TlsWithPasswordAndAPasswordFileOthersCanReadIsRefused) {
  MqttBroker broker({.tls = true, .passwords = true});
  MqttSubscriber live(broker, kTopics);
  const auto passwordFile = iniFolder_.Path() / "mqtt-password";
  std::FILE* file = std::fopen(passwordFile.c_str(), "w");
  std::fputs((broker.Password() + "\n").c_str(), file);
  std::fclose(file);
  const std::string ini = "[MQTT]\nBroker=127.0.0.1:" + std::to_string(broker.TlsPort()) +
                          "\nCAFile=" + broker.CaFile() + "\nCertFile=" + broker.ClientCertFile() +
                          "\nKeyFile=" + broker.ClientKeyFile() +
                          "\nUsername=" + broker.Username() +
                          "\nPasswordFile=" + passwordFile.string() + "\n";

  chmod(passwordFile.c_str(), 0644);
  auto refused = StartGateway(broker, {}, ini);
  EXPECT_EQ(refused->WaitForExit(kPatience), 1);
  const auto errors = refused->StderrLines();
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors.back().find("section [MQTT], key PasswordFile: \"" + passwordFile.string() +
                               "\" can be read by other users"),
            std::string::npos)
      << errors.back();

  chmod(passwordFile.c_str(), 0600);
  auto gateway = StartGateway(broker, {}, ini);
  EXPECT_TRUE(live.WaitFor("brivane/test/fx_0/state", nullptr, kPatience));
  EXPECT_TRUE(live.WaitFor(
      "brivane/test/status", [](const MqttMessage& m) { return IsText(m, "online"); }, kPatience));
  const auto lines = gateway->StderrLines();
  bool viaTls = false;
  for (const auto& line : lines) {
    viaTls |= line.find(":" + std::to_string(broker.TlsPort())) != std::string::npos &&
              line.find("connected to the MQTT broker") != std::string::npos;
  }
  EXPECT_TRUE(viaTls);
}

}  // namespace
}  // namespace brivane::testkit
