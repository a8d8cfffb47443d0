#include "mate/page_json.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>

namespace mate {

namespace {

// A whole value as a JSON integer (24, not 24.0); others as the shortest decimal
// that reads back as the same double, which for a value made by dividing the
// page's digits is the page's own text (24.8).
nlohmann::json Number(double value) {
  if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15) {
    return static_cast<std::int64_t>(value);
  }
  return value;
}

nlohmann::json Optional(const std::optional<int>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

void AddFx(nlohmann::json& out, const FxValues& fx) {
  out["inverter_current"] = Number(fx.inverter_current);
  out["charger_current"] = Number(fx.charger_current);
  out["buy_current"] = Number(fx.buy_current);
  out["sell_current"] = Number(fx.sell_current);
  out["ac_input_voltage"] = fx.ac_input_voltage;
  out["ac_output_voltage"] = fx.ac_output_voltage;
  out["battery_voltage"] = Number(fx.battery_voltage);
  out["operating_mode"] = fx.operating_mode;
  out["ac_mode"] = fx.ac_mode;
  out["errors"] = fx.errors;
  out["warnings"] = fx.warnings;
  out["aux_output"] = fx.aux_output;
  out["is_230v"] = fx.is_230v;
  out["operating_mode_code"] = fx.operating_mode_code;
  out["error_bits"] = fx.error_bits;
  out["warning_bits"] = fx.warning_bits;
  out["misc_bits"] = fx.misc_bits;
}

void AddMx(nlohmann::json& out, const MxValues& mx) {
  out["charger_current"] = Number(mx.charger_current);
  out["pv_current"] = mx.pv_current;
  out["pv_voltage"] = mx.pv_voltage;
  out["pv_power"] = mx.pv_power;
  out["charger_power"] = Number(mx.charger_power);
  out["daily_kwh"] = Number(mx.daily_kwh);
  out["daily_ah"] = Optional(mx.daily_ah);
  out["battery_voltage"] = Number(mx.battery_voltage);
  out["charger_mode"] = mx.charger_mode;
  out["aux_mode"] = mx.aux_mode;
  out["aux_active"] = mx.aux_active;
  out["errors"] = mx.errors;
  out["charger_mode_code"] = mx.charger_mode_code;
  out["aux_mode_code"] = mx.aux_mode_code;
  out["error_bits"] = mx.error_bits;
}

void AddFndc(nlohmann::json& out, const FndcValues& dc) {
  out["shunt_a_current"] = Number(dc.shunt_a_current);
  out["shunt_b_current"] = Number(dc.shunt_b_current);
  out["shunt_c_current"] = Number(dc.shunt_c_current);
  out["shunt_a_enabled"] = dc.shunt_a_enabled;
  out["shunt_b_enabled"] = dc.shunt_b_enabled;
  out["shunt_c_enabled"] = dc.shunt_c_enabled;
  out["battery_voltage"] = Number(dc.battery_voltage);
  out["state_of_charge"] = dc.state_of_charge;
  out["battery_temperature"] = Optional(dc.battery_temperature);
  out["charge_parameters_met"] = dc.charge_parameters_met;
  out["relay_closed"] = dc.relay_closed;
  out["relay_automatic"] = dc.relay_automatic;
  out["status_bits"] = dc.status_bits;
  // A reserved kind has no key; its digits stay in "raw".
  const std::string_view key = ExtraDataKey(dc.extra.kind);
  if (!key.empty()) {
    out[std::string(key)] = Number(dc.extra.value);
  }
}

}  // namespace

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto sinceEpoch = duration_cast<milliseconds>(time.time_since_epoch());
  auto seconds = duration_cast<std::chrono::seconds>(sinceEpoch);
  auto millis = (sinceEpoch - seconds).count();
  if (millis < 0) {
    millis += 1000;
    seconds -= std::chrono::seconds(1);
  }
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  return text;
}

nlohmann::json PageJson(const Page& page, std::chrono::system_clock::time_point readAt) {
  nlohmann::json out;
  out["device"] = DeviceName(page);
  out["type"] = std::string(TypeName(page.type));
  out["port"] = page.port;
  out["address"] = std::string(1, page.address);
  out["time"] = UtcTimeText(readAt);
  out["raw"] = page.raw;
  if (const auto* fx = std::get_if<FxValues>(&page.values)) {
    AddFx(out, *fx);
  } else if (const auto* mx = std::get_if<MxValues>(&page.values)) {
    AddMx(out, *mx);
  } else if (const auto* dc = std::get_if<FndcValues>(&page.values)) {
    AddFndc(out, *dc);
  }
  return out;
}

}  // namespace mate
