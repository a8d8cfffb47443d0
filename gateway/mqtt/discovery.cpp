#include "gateway/mqtt/discovery.h"

namespace brivane::gateway {
namespace {

using Kind = EntityKind;

EntitySpec Measure(std::string_view key, std::string_view name, std::string_view deviceClass,
                   std::string_view unit, int precision) {
  return {key, name, Kind::kMeasurement, deviceClass, unit, "measurement", precision, {}, false};
}
EntitySpec Current(std::string_view key, std::string_view name) {
  return {key, name, Kind::kMeasurement, "current", "A", "measurement", 1, {}, false};
}
EntitySpec Voltage(std::string_view key, std::string_view name, int precision) {
  return {key, name, Kind::kMeasurement, "voltage", "V", "measurement", precision, {}, false};
}
EntitySpec Power(std::string_view key, std::string_view name) {
  return {key, name, Kind::kMeasurement, "power", "W", "measurement", 0, {}, false};
}
EntitySpec Energy(std::string_view key, std::string_view name, std::string_view stateClass) {
  return {key, name, Kind::kMeasurement, "energy", "kWh", stateClass, 2, {}, false};
}
// No device class measures ampere-hours.
EntitySpec Charge(std::string_view key, std::string_view name, std::string_view stateClass) {
  return {key, name, Kind::kMeasurement, "", "Ah", stateClass, 0, {}, false};
}
EntitySpec Flag(std::string_view key, std::string_view name, std::string_view deviceClass,
                bool diagnostic) {
  return {key, name, Kind::kFlag, deviceClass, "", "", -1, {}, diagnostic};
}
EntitySpec Problem(std::string_view key, std::string_view name) {
  return {key, name, Kind::kProblem, "problem", "", "", -1, {}, false};
}
EntitySpec Code(std::string_view key, std::string_view name) {
  return {key, name, Kind::kCode, "", "", "", -1, {}, true};
}
EntitySpec Enum(std::string_view key, std::string_view name,
                std::vector<std::string_view> options) {
  options.push_back("Unknown");  // a code the tables do not know
  return {key, name, Kind::kEnum, "enum", "", "", -1, std::move(options), false};
}

const std::vector<EntitySpec> kFx = {
    Current("inverter_current", "Inverter current"),
    Current("charger_current", "Charger current"),
    Current("buy_current", "Buy current"),
    Current("sell_current", "Sell current"),
    Voltage("ac_input_voltage", "AC input voltage", 0),
    Voltage("ac_output_voltage", "AC output voltage", 0),
    Voltage("battery_voltage", "Battery voltage", 1),
    Enum("operating_mode", "Operating mode",
         {"Inverter Off", "Search", "Inverter On", "Charge", "Silent", "Float", "EQ", "Charger Off",
          "Support", "Sell Enabled", "Pass Thru", "FX Error", "AGS Error", "Comm Error"}),
    Enum("ac_mode", "AC mode", {"No AC", "AC Drop", "AC Use"}),
    Problem("errors", "Errors"),
    Problem("warnings", "Warnings"),
    Flag("aux_output", "AUX output", "power", false),
    Flag("is_230v", "230 V model", "", true),
    Code("operating_mode_code", "Operating mode code"),
    Code("error_bits", "Error bits"),
    Code("warning_bits", "Warning bits"),
    Code("misc_bits", "Misc bits"),
};

const std::vector<EntitySpec> kMx = {
    Current("charger_current", "Charger current"),
    Current("pv_current", "PV current"),
    Voltage("pv_voltage", "PV voltage", 0),
    Power("pv_power", "PV power"),
    Power("charger_power", "Charger power"),
    Energy("daily_kwh", "Energy today", "total_increasing"),
    Charge("daily_ah", "Charge today", "total_increasing"),
    Voltage("battery_voltage", "Battery voltage", 1),
    Enum("charger_mode", "Charger mode", {"Silent", "Float", "Bulk", "Absorb", "EQ"}),
    Enum("aux_mode", "AUX mode",
         {"Disabled", "Diversion", "Remote", "Manual", "Vent Fan", "PV Trigger", "Float",
          "ERROR Output", "Night Light", "PWM Diversion", "Low Battery"}),
    Flag("aux_active", "AUX output", "power", false),
    Problem("errors", "Errors"),
    Code("charger_mode_code", "Charger mode code"),
    Code("aux_mode_code", "AUX mode code"),
    Code("error_bits", "Error bits"),
};

EntitySpec Extra(EntitySpec entity) {
  entity.extraData = true;
  return entity;
}

const std::vector<EntitySpec> kFndc = {
    Current("shunt_a_current", "Shunt A current"),
    Current("shunt_b_current", "Shunt B current"),
    Current("shunt_c_current", "Shunt C current"),
    Flag("shunt_a_enabled", "Shunt A enabled", "", true),
    Flag("shunt_b_enabled", "Shunt B enabled", "", true),
    Flag("shunt_c_enabled", "Shunt C enabled", "", true),
    Voltage("battery_voltage", "Battery voltage", 1),
    Measure("state_of_charge", "State of charge", "battery", "%", 0),
    Measure("battery_temperature", "Battery temperature", "temperature", "°C", 0),
    Flag("charge_parameters_met", "Charge parameters met", "", false),
    Flag("relay_closed", "Relay closed", "", false),
    Flag("relay_automatic", "Relay automatic", "", true),
    Code("status_bits", "Status bits"),
    // The extra data, one item per page; the state keeps them all.
    Extra(Charge("shunt_a_accumulated_ah", "Shunt A accumulated charge", "total")),
    Extra(Energy("shunt_a_accumulated_kwh", "Shunt A accumulated energy", "total")),
    Extra(Charge("shunt_b_accumulated_ah", "Shunt B accumulated charge", "total")),
    Extra(Energy("shunt_b_accumulated_kwh", "Shunt B accumulated energy", "total")),
    Extra(Charge("shunt_c_accumulated_ah", "Shunt C accumulated charge", "total")),
    Extra(Energy("shunt_c_accumulated_kwh", "Shunt C accumulated energy", "total")),
    Extra(Measure("days_since_full", "Days since full", "", "d", 1)),
    Extra(Measure("todays_minimum_soc", "Minimum state of charge today", "battery", "%", 0)),
    Extra(Charge("todays_net_input_ah", "Net input charge today", "total_increasing")),
    Extra(Charge("todays_net_output_ah", "Net output charge today", "total_increasing")),
    Extra(Energy("todays_net_input_kwh", "Net input energy today", "total_increasing")),
    Extra(Energy("todays_net_output_kwh", "Net output energy today", "total_increasing")),
    Extra(Charge("net_battery_ah", "Net battery charge", "total")),
    Extra(Energy("net_battery_kwh", "Net battery energy", "total")),
};

std::string_view Model(mate::DeviceType type) {
  switch (type) {
    case mate::DeviceType::Fx:
      return "FX inverter/charger";
    case mate::DeviceType::Mx:
      return "MX/FLEXmax charge controller";
    case mate::DeviceType::Fndc:
      return "FLEXnet DC battery monitor";
  }
  return "";
}

std::string DeviceTitle(const DeviceIdentity& identity) {
  std::string title;
  switch (identity.type) {
    case mate::DeviceType::Fx:
      title = "FX inverter";
      break;
    case mate::DeviceType::Mx:
      title = "Charge controller";
      break;
    case mate::DeviceType::Fndc:
      title = "FLEXnet DC";
      break;
  }
  if (identity.port > 0) {
    title += " (port " + std::to_string(identity.port) + ")";
  }
  return title;
}

nlohmann::json Origin(std::string_view version) {
  return {{"name", "brivane-gateway"},
          {"sw", std::string(version)},
          {"url", "https://www.brivane.com/support"}};
}

std::string Value(std::string_view key) {
  return "value_json." + std::string(key);
}

nlohmann::json Component(const TopicNames& names, const DeviceIdentity& identity,
                         const EntitySpec& entity) {
  const std::string value = Value(entity.key);
  nlohmann::json component = {
      {"p",
       entity.kind == Kind::kProblem || entity.kind == Kind::kFlag ? "binary_sensor" : "sensor"},
      {"name", std::string(entity.name)},
      {"unique_id", names.DeviceId(identity.device) + "_" + std::string(entity.key)},
      {"state_topic", names.State(identity.device)},
  };
  if (!entity.deviceClass.empty()) {
    component["device_class"] = std::string(entity.deviceClass);
  }
  switch (entity.kind) {
    case Kind::kMeasurement:
      component["value_template"] = "{{ " + value + " }}";
      if (!entity.unit.empty()) {
        component["unit_of_measurement"] = std::string(entity.unit);
      }
      component["state_class"] = std::string(entity.stateClass);
      if (entity.precision >= 0) {
        component["suggested_display_precision"] = entity.precision;
      }
      break;
    case Kind::kEnum: {
      component["value_template"] =
          "{{ 'Unknown' if " + value + ".startswith('Unknown') else " + value + " }}";
      nlohmann::json options = nlohmann::json::array();
      for (std::string_view option : entity.options) {
        options.push_back(std::string(option));
      }
      component["options"] = options;
      break;
    }
    case Kind::kProblem:
      component["value_template"] = "{{ 'ON' if " + value + " else 'OFF' }}";
      component["json_attributes_topic"] = names.State(identity.device);
      component["json_attributes_template"] =
          "{{ {'" + std::string(entity.key) + "': " + value + "} | tojson }}";
      break;
    case Kind::kFlag:
      component["value_template"] = "{{ 'ON' if " + value + " else 'OFF' }}";
      break;
    case Kind::kCode:
      component["value_template"] = "{{ " + value + " }}";
      component["enabled_by_default"] = false;
      break;
  }
  if (entity.diagnostic) {
    component["entity_category"] = "diagnostic";
  }
  return component;
}

}  // namespace

const std::vector<EntitySpec>& EntitySpecs(mate::DeviceType type) {
  switch (type) {
    case mate::DeviceType::Fx:
      return kFx;
    case mate::DeviceType::Mx:
      return kMx;
    case mate::DeviceType::Fndc:
      return kFndc;
  }
  return kFx;
}

int ExtraDataSeen(const nlohmann::json& state) {
  int seen = 0;
  for (const EntitySpec& entity : kFndc) {
    seen += entity.extraData && state.contains(entity.key) ? 1 : 0;
  }
  return seen;
}

nlohmann::json DeviceDiscovery(const TopicNames& names, const DeviceIdentity& identity,
                               std::string_view version, const nlohmann::json& state) {
  nlohmann::json components = nlohmann::json::object();
  for (const EntitySpec& entity : EntitySpecs(identity.type)) {
    if (entity.extraData && !state.contains(entity.key)) {
      continue;
    }
    components[std::string(entity.key)] = Component(names, identity, entity);
  }
  return {
      {"dev",
       {{"ids", nlohmann::json::array({names.DeviceId(identity.device)})},
        {"name", DeviceTitle(identity)},
        {"mf", "OutBack Power"},
        {"mdl", std::string(Model(identity.type))},
        {"via_device", names.GatewayId()}}},
      {"o", Origin(version)},
      {"availability", nlohmann::json::array({{{"topic", names.Status()}},
                                              {{"topic", names.Availability(identity.device)}}})},
      {"availability_mode", "all"},
      {"qos", 1},
      {"cmps", components},
  };
}

nlohmann::json GatewayDiscovery(const TopicNames& names, std::string_view version) {
  return {
      {"dev",
       {{"ids", nlohmann::json::array({names.GatewayId()})},
        {"name", "Brivane gateway " + names.site},
        {"mf", "Brivane"},
        {"mdl", "brivane-gateway"},
        {"sw", std::string(version)}}},
      {"o", Origin(version)},
      {"availability", nlohmann::json::array({{{"topic", names.Status()}}})},
      {"availability_mode", "all"},
      {"qos", 1},
      {"cmps",
       {{"status",
         {{"p", "binary_sensor"},
          {"name", "Status"},
          {"unique_id", names.GatewayId() + "_status"},
          {"state_topic", names.Status()},
          {"device_class", "connectivity"},
          {"payload_on", "online"},
          {"payload_off", "offline"},
          {"entity_category", "diagnostic"}}}}},
  };
}

}  // namespace brivane::gateway
