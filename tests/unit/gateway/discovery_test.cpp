#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <variant>

#include "gateway/mqtt/discovery.h"
#include "mate/code_texts.h"
#include "mate/decode.h"
#include "mate/page_json.h"
#include "tests/unit/gateway/test_pages.h"

namespace brivane::gateway {
namespace {

TopicNames Names() {
  TopicNames names;
  names.site = "cabin";
  return names;
}

nlohmann::json StateOf(std::string_view record) {
  const auto decoded = mate::DecodePage(record);
  EXPECT_TRUE(std::holds_alternative<mate::Page>(decoded)) << record;
  return mate::PageJson(std::get<mate::Page>(decoded), std::chrono::system_clock::now());
}

// The pairs Home Assistant accepts for the classes used here.
bool Accepted(const nlohmann::json& c) {
  if (c["p"] == "binary_sensor") {
    return !c.contains("device_class") || c["device_class"] == "problem" ||
           c["device_class"] == "power";
  }
  static const std::map<std::string, std::pair<std::set<std::string>, std::set<std::string>>>
      rules = {
          {"voltage", {{"V"}, {"measurement"}}},
          {"current", {{"A"}, {"measurement"}}},
          {"power", {{"W"}, {"measurement"}}},
          {"energy", {{"kWh"}, {"total", "total_increasing"}}},
          {"battery", {{"%"}, {"measurement"}}},
          {"temperature", {{"°C"}, {"measurement"}}},
      };
  if (!c.contains("device_class")) {
    return true;  // Ah, days: no class measures them
  }
  const std::string deviceClass = c["device_class"];
  if (deviceClass == "enum") {
    return c.contains("options") && !c.contains("state_class") &&
           !c.contains("unit_of_measurement");
  }
  const auto rule = rules.find(deviceClass);
  if (rule == rules.end()) {
    return false;
  }
  return rule->second.first.count(c.value("unit_of_measurement", "")) == 1 &&
         rule->second.second.count(c.value("state_class", "")) == 1;
}

TEST(Discovery, EveryStateKeyBecomesAnEntityHomeAssistantAccepts) {
  const std::set<std::string> notEntities = {"device", "type", "port", "address", "time", "raw"};
  const TopicNames names = Names();
  std::set<std::string> uniqueIds;
  for (const auto& record :
       {std::string(test::kFxPage), std::string(test::kMxPage), test::FndcPage("02", "00023")}) {
    auto state = StateOf(record);
    const auto decoded = mate::DecodePage(record);
    const auto& page = std::get<mate::Page>(decoded);
    const DeviceIdentity identity{mate::DeviceName(page), page.type, page.port};
    if (page.type == mate::DeviceType::Fndc) {
      // Extra-data entities come as their values are first seen.
      const auto first = DeviceDiscovery(names, identity, "1.0.0", state)["cmps"];
      EXPECT_TRUE(first.contains("shunt_b_accumulated_ah"));
      EXPECT_FALSE(first.contains("net_battery_kwh"));
      EXPECT_EQ(ExtraDataSeen(state), 1);
      for (int kind = 0; kind < 14; ++kind) {
        state[std::string(mate::ExtraDataKey(kind))] = 1;
      }
      EXPECT_EQ(ExtraDataSeen(state), 14);
    }
    const auto config = DeviceDiscovery(names, identity, "1.0.0", state);
    for (const auto& [key, value] : state.items()) {
      if (notEntities.count(key) == 0) {
        EXPECT_TRUE(config["cmps"].contains(key)) << identity.device << " " << key;
      }
    }
    EXPECT_EQ(config["dev"]["ids"], nlohmann::json::array({"brivane_cabin_" + identity.device}));
    EXPECT_EQ(config["dev"]["via_device"], "brivane_cabin");
    EXPECT_EQ(config["o"]["name"], "brivane-gateway");
    EXPECT_EQ(config["availability_mode"], "all");
    EXPECT_EQ(config["availability"][0]["topic"], "brivane/cabin/status");
    EXPECT_EQ(config["availability"][1]["topic"],
              "brivane/cabin/" + identity.device + "/availability");
    for (const auto& [key, component] : config["cmps"].items()) {
      EXPECT_TRUE(state.contains(key)) << key;
      EXPECT_EQ(component["unique_id"], "brivane_cabin_" + identity.device + "_" + key);
      EXPECT_TRUE(uniqueIds.insert(component["unique_id"]).second);
      EXPECT_FALSE(component.contains("object_id"));
      EXPECT_EQ(component["state_topic"], "brivane/cabin/" + identity.device + "/state");
      EXPECT_TRUE(Accepted(component)) << component.dump();
      const std::string name = component["name"];
      EXPECT_EQ(name.find(config["dev"]["name"].get<std::string>()), std::string::npos);
    }
  }
  const auto gateway = GatewayDiscovery(names, "1.0.0");
  EXPECT_EQ(gateway["dev"]["ids"], nlohmann::json::array({"brivane_cabin"}));
  EXPECT_FALSE(gateway["dev"].contains("via_device"));
  EXPECT_EQ(names.DeviceConfig("fx_0"), "homeassistant/device/brivane_cabin_fx_0/config");
  EXPECT_EQ(names.GatewayConfig(), "homeassistant/device/brivane_cabin/config");

  // What the Energy dashboard needs, and raw codes out of sight.
  const auto mx = DeviceDiscovery(names, {"mx_1", mate::DeviceType::Mx, 1}, "1.0.0",
                                  StateOf(test::kMxPage))["cmps"];
  EXPECT_EQ(mx["daily_kwh"]["state_class"], "total_increasing");
  EXPECT_EQ(mx["error_bits"]["enabled_by_default"], false);
  EXPECT_EQ(mx["error_bits"]["entity_category"], "diagnostic");
  EXPECT_EQ(mx["errors"]["device_class"], "problem");
  EXPECT_EQ(mx["errors"]["p"], "binary_sensor");
}

// Every text the decoder can give a mode is one of the entity's options (or shown as
// "Unknown"), or Home Assistant would refuse the state.
TEST(Discovery, EnumOptionsHoldEveryModeText) {
  const auto options = [](mate::DeviceType type, std::string_view key) {
    for (const EntitySpec& entity : EntitySpecs(type)) {
      if (entity.key == key) {
        return entity.options;
      }
    }
    return std::vector<std::string_view>{};
  };
  const std::pair<std::vector<std::string_view>, std::string (*)(int)> tables[] = {
      {options(mate::DeviceType::Fx, "operating_mode"), mate::FxOperatingModeText},
      {options(mate::DeviceType::Fx, "ac_mode"), mate::FxAcModeText},
      {options(mate::DeviceType::Mx, "charger_mode"), mate::MxChargerModeText},
      {options(mate::DeviceType::Mx, "aux_mode"), mate::MxAuxModeText},
  };
  for (const auto& [list, text] : tables) {
    ASSERT_FALSE(list.empty());
    for (int code = 0; code < 100; ++code) {
      const std::string shown = text(code);
      if (!shown.starts_with("Unknown")) {
        EXPECT_NE(std::find(list.begin(), list.end(), shown), list.end()) << shown;
      }
    }
  }
}

}  // namespace
}  // namespace brivane::gateway
