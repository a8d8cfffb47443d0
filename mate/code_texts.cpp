#include "mate/code_texts.h"

#include <array>
#include <string_view>
#include <utility>

namespace mate {

namespace {

struct CodeText {
  int code;
  std::string_view text;
};

template <std::size_t N>
std::string TextOf(const std::array<CodeText, N>& table, int code) {
  for (const auto& entry : table) {
    if (entry.code == code) {
      return std::string(entry.text);
    }
  }
  return UnknownCode(code);
}

// One text per set bit, lowest first; a bit without a name (empty text, or above
// the table) shows as its value.
std::vector<std::string> BitTexts(const std::array<std::string_view, 8>& names, int bits) {
  std::vector<std::string> texts;
  for (int bit = 0; bit < 31 && (bits >> bit) != 0; ++bit) {
    if (((bits >> bit) & 1) == 0) {
      continue;
    }
    const std::size_t index = static_cast<std::size_t>(bit);
    if (index < names.size() && !names[index].empty()) {
      texts.emplace_back(names[index]);
    } else {
      texts.push_back(UnknownCode(1 << bit));
    }
  }
  return texts;
}

constexpr std::array<CodeText, 14> kFxOperatingModes = {{
    {0, "Inverter Off"},
    {1, "Search"},
    {2, "Inverter On"},
    {3, "Charge"},
    {4, "Silent"},
    {5, "Float"},
    {6, "EQ"},
    {7, "Charger Off"},
    {8, "Support"},
    {9, "Sell Enabled"},
    {10, "Pass Thru"},
    {90, "FX Error"},
    {91, "AGS Error"},
    {92, "Comm Error"},
}};

constexpr std::array<CodeText, 3> kFxAcModes = {{
    {0, "No AC"},
    {1, "AC Drop"},
    {2, "AC Use"},
}};

constexpr std::array<std::string_view, 8> kFxErrors = {
    "Low VAC output", "Stacking error", "Over temperature", "Low battery",
    "Phase loss",     "High battery",   "Shorted output",   "Back feed"};

constexpr std::array<std::string_view, 8> kFxWarnings = {"AC input frequency high",
                                                         "AC input frequency low",
                                                         "AC input voltage high",
                                                         "AC input voltage low",
                                                         "Buy amps > input size",
                                                         "Temperature sensor failed",
                                                         "Comm error",
                                                         "Fan failure"};

constexpr std::array<CodeText, 5> kMxChargerModes = {{
    {0, "Silent"},
    {1, "Float"},
    {2, "Bulk"},
    {3, "Absorb"},
    {4, "EQ"},
}};

constexpr std::array<CodeText, 11> kMxAuxModes = {{
    {0, "Disabled"},
    {1, "Diversion"},
    {2, "Remote"},
    {3, "Manual"},
    {4, "Vent Fan"},
    {5, "PV Trigger"},
    {6, "Float"},
    {7, "ERROR Output"},
    {8, "Night Light"},
    {9, "PWM Diversion"},
    {10, "Low Battery"},
}};

// Bits of value 1-16 are unused by the controllers.
constexpr std::array<std::string_view, 8> kMxErrors = {
    "", "", "", "", "", "Shorted battery sensor", "Too hot", "High VOC"};

}  // namespace

std::string UnknownCode(int code) {
  return "Unknown (" + std::to_string(code) + ")";
}

std::string FxOperatingModeText(int code) {
  return TextOf(kFxOperatingModes, code);
}

std::string FxAcModeText(int code) {
  return TextOf(kFxAcModes, code);
}

std::vector<std::string> FxErrorTexts(int bits) {
  return BitTexts(kFxErrors, bits);
}

std::vector<std::string> FxWarningTexts(int bits) {
  return BitTexts(kFxWarnings, bits);
}

std::string MxChargerModeText(int code) {
  return TextOf(kMxChargerModes, code);
}

std::string MxAuxModeText(int mode) {
  return TextOf(kMxAuxModes, mode);
}

std::vector<std::string> MxErrorTexts(int bits) {
  return BitTexts(kMxErrors, bits);
}

}  // namespace mate
