#pragma once

#include <cstdint>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

namespace brivane::fill {

// A small off-grid system minute by minute: panels that follow the sun and the
// season under each day's clouds, a household load with an evening peak, a battery whose
// charge follows both, and the grid charger stepping in when the battery runs low.
class SolarSystem {
 public:
  explicit SolarSystem(std::uint32_t seed);

  // Moves on to time (Unix seconds, minutes after the last) with the local hour of day
  // and day of year; then the devices' states at that moment.
  void Step(std::int64_t time, double hourOfDay, int dayOfYear);
  nlohmann::json Fx() const;
  nlohmann::json Mx() const;
  nlohmann::json Fndc() const;

  double StateOfCharge() const { return soc_; }
  double PvPower() const { return pvPower_; }

 private:
  std::mt19937 random_;
  int day_ = -1;
  double clouds_ = 1;
  double soc_ = 70;
  double pvPower_ = 0;
  double pvVoltage_ = 0;
  double load_ = 0;
  double chargerPower_ = 0;
  double acCharge_ = 0;
  double dailyKwh_ = 0;
  double batteryVoltage_ = 25;
  double temperature_ = 20;
  bool acInUse_ = false;
};

}  // namespace brivane::fill
