#include "tools/history-fill/solar_day.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brivane::fill {
namespace {

constexpr double kArrayWatts = 3000;
constexpr double kBatteryWattHours = 10000;
constexpr double kMinutesPerHour = 60;

double Round(double value, double step) {
  return std::round(value / step) * step;
}

}  // namespace

SolarSystem::SolarSystem(std::uint32_t seed) : random_(seed) {}

void SolarSystem::Step(std::int64_t, double hour, int dayOfYear) {
  std::uniform_real_distribution<double> unit(0, 1);
  if (dayOfYear != day_) {
    day_ = dayOfYear;
    clouds_ = 0.35 + 0.65 * unit(random_);  // one sky for the whole day
    dailyKwh_ = 0;
  }
  // Longer, stronger days in (northern) summer.
  const double season = std::cos(2 * std::numbers::pi * (dayOfYear - 172) / 365.0);
  const double dayLength = 12 + 3 * season;
  const double sunrise = 12 - dayLength / 2;
  const double sunUp = (hour - sunrise) / dayLength;
  const double sun = sunUp > 0 && sunUp < 1 ? std::sin(std::numbers::pi * sunUp) : 0;
  const double passingCloud = 0.85 + 0.15 * unit(random_);
  pvPower_ = kArrayWatts * (0.8 + 0.2 * season) * sun * clouds_ * passingCloud;
  pvVoltage_ = sun > 0 ? 72 + 18 * std::sqrt(sun) + 2 * unit(random_) : 4 * unit(random_);

  // Household: a base, breakfast and an evening peak, and now and then a big appliance.
  load_ = 220 + 250 * std::exp(-std::pow(hour - 7.5, 2)) +
          700 * std::exp(-std::pow(hour - 19, 2) / 3) + (unit(random_) < 0.03 ? 1200 : 0) +
          60 * unit(random_);

  // A full battery takes less from the panels.
  const double headroom = std::clamp((100 - soc_) / 10, 0.05, 1.0);
  chargerPower_ = std::min(pvPower_ * 0.95, 2800.0) * headroom;
  if (soc_ < 35) {
    acInUse_ = true;
  } else if (soc_ > 60) {
    acInUse_ = false;
  }
  acCharge_ = acInUse_ ? 1200 : 0;
  const double net = chargerPower_ + acCharge_ - (acInUse_ ? 0 : load_);
  soc_ = std::clamp(soc_ + net / kMinutesPerHour / kBatteryWattHours * 100, 5.0, 100.0);
  dailyKwh_ += chargerPower_ / kMinutesPerHour / 1000;
  const double charging = net > 0 ? std::min(net / 2000, 1.0) * 1.6 : net / 3000 * 0.8;
  batteryVoltage_ = 23.6 + soc_ * 0.028 + charging + 0.05 * unit(random_);
  temperature_ = 18 + 4 * season + 3 * sun;
}

nlohmann::json SolarSystem::Fx() const {
  const double inverterCurrent = acInUse_ ? 0 : load_ / 120;
  const double chargerCurrent = acCharge_ / 120;
  return {{"inverter_current", Round(inverterCurrent, 1)},
          {"charger_current", Round(chargerCurrent, 1)},
          {"buy_current", Round(acInUse_ ? chargerCurrent + load_ / 120 : 0, 1)},
          {"sell_current", 0},
          {"ac_input_voltage", acInUse_ ? 121 : 0},
          {"ac_output_voltage", 120},
          {"battery_voltage", Round(batteryVoltage_, 0.1)}};
}

nlohmann::json SolarSystem::Mx() const {
  const double pvCurrent = pvVoltage_ > 10 ? pvPower_ / pvVoltage_ : 0;
  return {{"charger_current", Round(chargerPower_ / batteryVoltage_, 0.1)},
          {"pv_current", Round(pvCurrent, 1)},
          {"pv_voltage", Round(pvVoltage_, 1)},
          {"pv_power", Round(pvPower_, 1)},
          {"charger_power", Round(chargerPower_, 0.1)},
          {"daily_kwh", Round(dailyKwh_, 0.1)},
          {"daily_ah", Round(dailyKwh_ * 1000 / 25, 1)},
          {"battery_voltage", Round(batteryVoltage_, 0.1)}};
}

nlohmann::json SolarSystem::Fndc() const {
  const double in = (chargerPower_ + acCharge_) / batteryVoltage_;
  const double out = acInUse_ ? 0 : load_ / batteryVoltage_;
  return {{"shunt_a_current", Round(in, 0.1)},
          {"shunt_b_current", Round(-out, 0.1)},
          {"shunt_c_current", 0},
          {"battery_voltage", Round(batteryVoltage_, 0.1)},
          {"state_of_charge", Round(soc_, 1)},
          {"battery_temperature", Round(temperature_, 1)}};
}

}  // namespace brivane::fill
