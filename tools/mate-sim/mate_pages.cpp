#include "tools/mate-sim/mate_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "mate/address.h"
#include "mate/checksum.h"

namespace brivane::sim {

namespace {

// value as exactly `width` decimal digits, clamped to what fits.
std::string Digits(double value, int width) {
  const long limit = static_cast<long>(std::pow(10, width)) - 1;
  const long whole = std::clamp(std::lround(value), 0L, limit);
  char text[32];
  std::snprintf(text, sizeof text, "%0*ld", width, whole);
  return text;
}

// A smooth swing between low and high with the given period in seconds.
double Swing(double seconds, double phase, double low, double high, double period) {
  const double pi = std::acos(-1.0);
  return low + (high - low) * (0.5 + 0.5 * std::sin(2 * pi * seconds / period + phase));
}

}  // namespace

std::optional<DeviceKind> KindOfAddress(char address) {
  const auto device = mate::AddressOf(address);
  if (!device) {
    return std::nullopt;
  }
  switch (device->type) {
    case mate::DeviceType::Mx:
      return DeviceKind::MX;
    case mate::DeviceType::Fndc:
      return DeviceKind::FNDC;
    case mate::DeviceType::Fx:
    default:
      return DeviceKind::FX;
  }
}

std::string MakePage(char address, const std::vector<std::string>& fields,
                     std::optional<std::uint64_t> sequence) {
  std::string body(1, address);
  if (sequence) {
    body += "," + Digits(static_cast<double>(*sequence % 100000000), 8);
  }
  for (const auto& field : fields) {
    body += "," + field;
  }
  return "\n" + body + "," + Digits(mate::PageChecksum(body), 3) + "\r";
}

SimulatedDevice::SimulatedDevice(char address)
    : address_(address),
      kind_(KindOfAddress(address).value_or(DeviceKind::FX)),
      phase_(static_cast<unsigned char>(address) * 0.7) {}

std::vector<std::string> SimulatedDevice::Fields(double seconds, bool fault) const {
  switch (kind_) {
    case DeviceKind::MX:
      return MxFields(seconds);
    case DeviceKind::FNDC:
      return FndcFields(seconds);
    case DeviceKind::FX:
    default:
      return FxFields(seconds, fault);
  }
}

std::vector<std::string> SimulatedDevice::FxFields(double t, bool fault) const {
  return {
      Digits(Swing(t, phase_, 0, 12, 90), 2),         // inverter current
      Digits(Swing(t, phase_ + 1, 0, 6, 120), 2),     // charger current
      Digits(Swing(t, phase_ + 2, 0, 10, 150), 2),    // buy current
      Digits(Swing(t, phase_, 118, 124, 60), 3),      // AC input voltage
      Digits(Swing(t, phase_ + 1, 119, 121, 45), 3),  // AC output voltage
      "00",                                           // sell current
      fault ? "90" : "02",                            // operating mode: FX error, else inverting
      fault ? "004" : "000",                          // error mode: over temperature
      "02",                                           // AC mode: AC in use
      Digits(Swing(t, phase_, 248, 272, 300), 3),     // battery voltage, tenths
      "000",                                          // misc
      fault ? "128" : "000",                          // warning mode: fan failure
  };
}

std::vector<std::string> SimulatedDevice::MxFields(double t) const {
  const double charger = Swing(t, phase_, 5, 35, 240);  // amps, with tenths
  const double pvVoltage = Swing(t, phase_ + 1, 70, 95, 180);
  return {
      "00",                                          // unused
      Digits(std::floor(charger), 2),                // charger current
      Digits(charger * 26 / pvVoltage, 2),           // PV current
      Digits(pvVoltage, 3),                          // PV voltage
      Digits(std::fmod(t / 36.0, 999), 3),           // daily kWh, tenths
      "0" + Digits(std::fmod(charger * 10, 10), 1),  // tenths of charger current
      "00",                                          // aux mode
      "000",                                         // error mode
      "02",                                          // charger mode: bulk
      Digits(Swing(t, phase_, 250, 275, 300), 3),    // battery voltage, tenths
      Digits(std::fmod(t / 2.0, 2000), 4),           // daily Ah
      "00",                                          // unused
  };
}

std::vector<std::string> SimulatedDevice::FndcFields(double t) const {
  // Shunt A charges from the array, shunt B feeds the inverter, C is not wired.
  const double shuntA = Swing(t, phase_, 0, 400, 200);          // tenths of an amp
  const double shuntB = Swing(t, phase_ + 1, -300, 100, 240);   // negative: discharging
  const double stateOfCharge = Swing(t, phase_, 60, 100, 900);  // percent
  const int extraKind = static_cast<int>(t) % 14;
  // Net battery Ah and kWh (12, 13) go below zero; today's minimum SOC (7) is a percentage.
  const bool extraNegative = extraKind >= 12 && std::sin(t / 50 + phase_) < 0;
  const double extraValue =
      extraKind == 7 ? stateOfCharge - 5 : Swing(t, phase_ + extraKind, 0, 9999, 500);
  const int statusFlags = 2 | (shuntB < 0 ? 16 : 0);  // relay automatic; shunt B sign
  return {
      Digits(shuntA, 4),                                // shunt A current, tenths
      Digits(std::fabs(shuntB), 4),                     // shunt B current, tenths
      "0000",                                           // shunt C current, tenths
      Digits(extraKind + (extraNegative ? 64 : 0), 2),  // extra data kind and sign
      Digits(extraValue, 5),                            // extra data
      Digits(Swing(t, phase_, 250, 272, 300), 3),       // battery voltage, tenths
      Digits(stateOfCharge, 3),                         // state of charge, percent
      "001",                                            // A and B in use, C not
      Digits(statusFlags, 2),                           // status flags
      Digits(Swing(t, phase_, 30, 38, 1200), 2),        // battery temperature + 10 °C
  };
}

}  // namespace brivane::sim
