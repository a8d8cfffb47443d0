#include "common/settings.h"

#include <algorithm>

#include "common/network_info.h"
#include "common/number_text.h"

namespace brivane {
namespace {

// A whole-number setting: its value when it reads as a number within [low, high],
// otherwise the fallback.
std::int32_t ReadWholeSetting(const ProfileDocument& profile, std::string_view section,
                              std::string_view key, std::string_view defaultText, std::int32_t low,
                              std::int32_t high, std::int32_t fallback) {
  const auto value = WholeNumberOf(ReadSettingText(profile, section, key, defaultText));
  if (!value || *value < low || *value > high) {
    return fallback;
  }
  return *value;
}

std::string ReadAddressSetting(const ProfileDocument& profile, std::string_view section) {
  auto text = ReadSettingText(profile, section, "IPAddress", "");
  return IsValidIPAddress(text) ? text : std::string();
}

}  // namespace

std::string ReadSettingText(const ProfileDocument& profile, std::string_view section,
                            std::string_view key, std::string_view defaultText) {
  auto text = profile.Get(section, key, defaultText);
  std::erase(text, '\0');
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

ServiceSettings LoadSettings(const ProfileDocument& profile, std::string_view section) {
  ServiceSettings settings;
  settings.COMPort = ReadWholeSetting(profile, section, "COMPort", "0", 0, 255, 0);
  settings.UDPBPort = ReadWholeSetting(profile, section, "UDPBPort", "8466", 1, 65535, 8466);
  settings.TCPPort = ReadWholeSetting(profile, section, "TCPPort", "8467", 1, 65535, 8467);
  settings.IPAddress = ReadAddressSetting(profile, section);
  return settings;
}

void SaveSettings(ProfileDocument& profile, std::string_view section,
                  const ServiceSettings& settings) {
  profile.Set(section, "COMPort", std::to_string(settings.COMPort));
  profile.Set(section, "UDPBPort", std::to_string(settings.UDPBPort));
  profile.Set(section, "TCPPort", std::to_string(settings.TCPPort));
}

ConsoleSettings LoadConsoleSettings(const ProfileDocument& profile) {
  ConsoleSettings settings;
  // The console stops one short of the service's range: 65535 reads as the default.
  settings.ConfiguredUdpPort =
      ReadWholeSetting(profile, kConsoleSection, "UDPBPort", "8466", 1, 65534, 8466);
  settings.ConfiguredIPAddress = ReadAddressSetting(profile, kConsoleSection);
  return settings;
}

}  // namespace brivane
