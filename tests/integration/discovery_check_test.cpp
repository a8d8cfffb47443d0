#include "tests/support/discovery_check.h"

#include <gtest/gtest.h>

namespace brivane::testkit {
namespace {

// A device config whose payload needs escaping on its way to the checker, once clean
// and once with a unit Home Assistant refuses for its class.
TEST(DiscoveryCheckTest, PassesPayloadsThroughAndReportsFaults) {
  const std::string gateway = R"({"dev": {"ids": "brivane_x", "name": "Gateway\nx"},
    "o": {"name": "brivane-gateway"}, "avty": [{"t": "brivane/x/status"}], "avty_mode": "all",
    "cmps": {"v": {"p": "sensor", "name": "Volts \"AC\"", "uniq_id": "brivane_x_v",
      "dev_cla": "voltage", "unit_of_meas": "UNIT", "stat_t": "brivane/x/state",
      "val_tpl": "{{ value_json.v }}"}}})";
  auto messages = [&](const std::string& unit) {
    std::string config = gateway;
    config.replace(config.find("UNIT"), 4, unit);
    return std::vector<MqttMessage>{{"homeassistant/device/brivane_x/config", config, true},
                                    {"brivane/x/status", "online", true},
                                    {"brivane/x/state", R"({"v": 230.5})", true}};
  };
  const DiscoveryCheck clean = CheckDiscovery(messages("V"));
  EXPECT_EQ(clean.exitStatus, 0);
  EXPECT_TRUE(clean.faults.empty()) << clean.faults.front();

  const DiscoveryCheck wrong = CheckDiscovery(messages("A"));
  EXPECT_EQ(wrong.exitStatus, 1);
  ASSERT_EQ(wrong.faults.size(), 1u);
  EXPECT_NE(wrong.faults[0].find("not valid with device_class 'voltage'"), std::string::npos)
      << wrong.faults[0];
}

}  // namespace
}  // namespace brivane::testkit
