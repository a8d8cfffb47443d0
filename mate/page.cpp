#include "mate/page.h"

#include <array>

namespace mate {

std::string_view ExtraDataKey(int kind) {
  static constexpr std::array<std::string_view, 14> kKeys = {
      "shunt_a_accumulated_ah",  "shunt_a_accumulated_kwh", "shunt_b_accumulated_ah",
      "shunt_b_accumulated_kwh", "shunt_c_accumulated_ah",  "shunt_c_accumulated_kwh",
      "days_since_full",         "todays_minimum_soc",      "todays_net_input_ah",
      "todays_net_output_ah",    "todays_net_input_kwh",    "todays_net_output_kwh",
      "net_battery_ah",          "net_battery_kwh"};
  if (kind < 0 || kind >= static_cast<int>(kKeys.size())) {
    return {};
  }
  return kKeys[static_cast<std::size_t>(kind)];
}

std::string DeviceName(const Page& page) {
  return std::string(TypeName(page.type)) + "_" + std::to_string(page.port);
}

std::string_view TypeName(DeviceType type) {
  switch (type) {
    case DeviceType::Mx:
      return "mx";
    case DeviceType::Fndc:
      return "fndc";
    case DeviceType::Fx:
    default:
      return "fx";
  }
}

}  // namespace mate
