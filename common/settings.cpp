#include "common/settings.h"

#include <algorithm>
#include <optional>

#include "common/network_info.h"
#include "common/number_text.h"
#include "common/profile_file.h"

namespace brivane {
namespace {

// A whole-number setting: its value when it reads as a number within [low, high],
// otherwise the fallback.
std::int32_t ReadWholeSetting(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultText, std::int32_t low,
                              std::int32_t high, std::int32_t fallback) {
  const auto value = WholeNumberOf(ReadSettingText(file, section, key, defaultText));
  if (!value || *value < low || *value > high) {
    return fallback;
  }
  return *value;
}

std::string ReadAddressSetting(const std::filesystem::path& file, std::string_view section) {
  auto text = ReadSettingText(file, section, "IPAddress", "");
  return IsValidIPAddress(text) ? text : std::string();
}

}  // namespace

std::string ReadSettingText(const std::filesystem::path& file, std::string_view section,
                            std::string_view key, std::string_view defaultText) {
  auto text = GetProfileString(file, section, key, defaultText);
  std::erase(text, '\0');
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

ServiceSettings LoadSettings(const std::filesystem::path& file, std::string_view section) {
  ServiceSettings settings;
  settings.COMPort = ReadWholeSetting(file, section, "COMPort", "0", 0, 255, 0);
  settings.UDPBPort = ReadWholeSetting(file, section, "UDPBPort", "8466", 1, 65535, 8466);
  settings.TCPPort = ReadWholeSetting(file, section, "TCPPort", "8467", 1, 65535, 8467);
  settings.IPAddress = ReadAddressSetting(file, section);
  return settings;
}

void SaveSettings(const std::filesystem::path& file, std::string_view section,
                  const ServiceSettings& settings) {
  // Each write stands alone; one that fails leaves the file as it was.
  WriteProfileString(file, section, "COMPort", std::to_string(settings.COMPort));
  WriteProfileString(file, section, "UDPBPort", std::to_string(settings.UDPBPort));
  WriteProfileString(file, section, "TCPPort", std::to_string(settings.TCPPort));
}

ConsoleSettings LoadConsoleSettings(const std::filesystem::path& file) {
  ConsoleSettings settings;
  // The console stops one short of the service's range: 65535 reads as the default.
  settings.ConfiguredUdpPort =
      ReadWholeSetting(file, kConsoleSection, "UDPBPort", "8466", 1, 65534, 8466);
  settings.ConfiguredIPAddress = ReadAddressSetting(file, kConsoleSection);
  return settings;
}

}  // namespace brivane
