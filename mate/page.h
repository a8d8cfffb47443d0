#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One decoded MATE status page, in units: volts, amps, watts, kWh, Ah, %, °C.
// Fields are named after the page's JSON keys.
namespace mate {

enum class DeviceType { Fx, Mx, Fndc };

struct FxValues {
  // Amps and volts after the 230 V rule.
  double inverter_current = 0;
  double charger_current = 0;
  double buy_current = 0;
  double sell_current = 0;
  int ac_input_voltage = 0;
  int ac_output_voltage = 0;
  double battery_voltage = 0;
  std::string operating_mode;
  std::string ac_mode;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  bool aux_output = false;
  bool is_230v = false;
  int operating_mode_code = 0;
  int ac_mode_code = 0;
  int error_bits = 0;
  int warning_bits = 0;
  int misc_bits = 0;
};

struct MxValues {
  double charger_current = 0;
  int pv_current = 0;
  int pv_voltage = 0;
  int pv_power = 0;
  double charger_power = 0;
  double daily_kwh = 0;
  std::optional<int> daily_ah;  // absent on controllers that do not count it
  double battery_voltage = 0;
  std::string charger_mode;
  std::string aux_mode;
  bool aux_active = false;
  std::vector<std::string> errors;
  int charger_mode_code = 0;
  int aux_mode_code = 0;
  int error_bits = 0;
};

// The one item of the FLEXnet DC's extra data that each page carries.
struct ExtraData {
  int kind = 0;           // 0-13 known, the rest reserved
  bool negative = false;  // the identifier's sign flag
  int raw = 0;            // the five digits as sent
  double value = 0;       // in the kind's unit, signed
};

// The JSON key of an extra-data kind ("net_battery_ah"), empty for a reserved kind.
std::string_view ExtraDataKey(int kind);

struct FndcValues {
  double shunt_a_current = 0;  // negative while discharging
  double shunt_b_current = 0;
  double shunt_c_current = 0;
  bool shunt_a_enabled = false;
  bool shunt_b_enabled = false;
  bool shunt_c_enabled = false;
  double battery_voltage = 0;
  int state_of_charge = 0;
  std::optional<int> battery_temperature;  // absent without a sensor
  bool charge_parameters_met = false;
  bool relay_closed = false;
  bool relay_automatic = false;
  int status_bits = 0;
  ExtraData extra;
};

struct Page {
  DeviceType type = DeviceType::Fx;
  char address = '0';
  int port = 0;     // hub port 1-10; 0 only for an FX wired straight to the MATE
  std::string raw;  // the 47 characters
  std::variant<FxValues, MxValues, FndcValues> values;
};

std::string DeviceName(const Page& page);    // "fx_0", "mx_1", "fndc_3"
std::string_view TypeName(DeviceType type);  // "fx", "mx", "fndc"

}  // namespace mate
