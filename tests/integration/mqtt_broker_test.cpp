#include "tests/support/mqtt_broker.h"

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {
namespace {

using namespace std::chrono_literals;

// mosquitto_pub's exit status for one message; 0 when the broker took it.
int PublishWithTool(const MqttBroker& broker, bool tls, std::vector<std::string> extra) {
  std::vector<std::string> args = {"-h", tls ? "localhost" : "127.0.0.1",
                                   "-p", std::to_string(tls ? broker.TlsPort() : broker.Port()),
                                   "-t", "probe",
                                   "-m", "1",
                                   "-q", "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  ChildProcess tool("/usr/bin/mosquitto_pub", SpawnOptions{args, {}, {}});
  return tool.WaitForExit(kPatience).value_or(-1);
}

TEST(MqttBrokerTest, PlainBrokerForgetsRetainedMessagesOnRestart) {
  MqttBroker broker;
  EXPECT_EQ(broker.TlsPort(), 0);
  EXPECT_EQ(PublishWithTool(broker, false, {}), 0);

  MqttSubscriber subscriber(broker, {"t/#"});
  subscriber.Publish("t/kept", "before", true);
  subscriber.Publish("t/live", "plain");
  const auto kept = subscriber.WaitFor("t/kept", nullptr, kPatience);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->payload, "before");
  EXPECT_TRUE(kept->retained);
  const auto live = subscriber.WaitFor(
      "t/+", [](const MqttMessage& m) { return !m.retained; }, kPatience);
  ASSERT_TRUE(live);
  EXPECT_EQ(live->topic, "t/live");

  const int port = broker.Port();
  broker.Restart();
  EXPECT_EQ(broker.Port(), port);
  // The old subscriber finds its way back; anything retained would come before the marker.
  ASSERT_TRUE(WaitFor([&] { return subscriber.WaitForSubscribed(0ms); }, kPatience));
  subscriber.Clear();
  MqttSubscriber fresh(broker, {"t/#"});
  fresh.Publish("t/marker", "after", true);
  ASSERT_TRUE(fresh.WaitFor("t/marker", nullptr, kPatience));
  ASSERT_TRUE(subscriber.WaitFor("t/marker", nullptr, kPatience));
  EXPECT_FALSE(fresh.WaitFor("t/kept", nullptr, 0ms));
  EXPECT_EQ(fresh.Messages().size(), 1u);
  // Subscribers end without delay while their broker is down.
  broker.Stop();
  EXPECT_FALSE(broker.Running());
}

TEST(MqttBrokerTest, PasswordBrokerRefusesStrangers) {
  MqttBroker broker({.passwords = true});
  ASSERT_FALSE(broker.Username().empty());
  EXPECT_NE(PublishWithTool(broker, false, {}), 0);
  EXPECT_NE(PublishWithTool(broker, false, {"-u", broker.Username(), "-P", "wrong"}), 0);
  EXPECT_EQ(PublishWithTool(broker, false, {"-u", broker.Username(), "-P", broker.Password()}), 0);
  MqttSubscriber subscriber(broker, {"probe"});
  subscriber.Publish("probe", "2");
  EXPECT_TRUE(subscriber.WaitFor("probe", nullptr, kPatience));
}

TEST(MqttBrokerTest, TlsBrokerWantsItsCaAndAClientCertificate) {
  MqttBroker broker({.tls = true, .passwords = true});
  ASSERT_NE(broker.TlsPort(), 0);
  const std::vector<std::string> login = {"-u", broker.Username(), "-P", broker.Password()};
  auto with = [&](std::vector<std::string> extra) {
    extra.insert(extra.end(), login.begin(), login.end());
    return extra;
  };
  EXPECT_EQ(PublishWithTool(broker, true,
                            with({"--cafile", broker.CaFile(), "--cert", broker.ClientCertFile(),
                                  "--key", broker.ClientKeyFile()})),
            0);
  // Without a client certificate, or trusting only the system's CAs.
  EXPECT_NE(PublishWithTool(broker, true, with({"--cafile", broker.CaFile()})), 0);
  EXPECT_NE(PublishWithTool(broker, true,
                            with({"--capath", "/etc/ssl/certs", "--cert", broker.ClientCertFile(),
                                  "--key", broker.ClientKeyFile()})),
            0);
  // Plain MQTT on the TLS port gets nowhere.
  EXPECT_NE(PublishWithTool(broker, true, login), 0);
  EXPECT_EQ(PublishWithTool(broker, false, login), 0);
}

}  // namespace
}  // namespace brivane::testkit
