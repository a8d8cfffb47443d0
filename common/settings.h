#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/profile_document.h"

// The settings both programs take from Brivane.ini.
namespace brivane {

// What the service runs with. IPAddress empty means all local addresses; COMPort 0
// means the MATE's port is found automatically.
struct ServiceSettings {
  std::int32_t COMPort = 0;
  std::int32_t UDPBPort = 8466;
  std::int32_t TCPPort = 8467;
  std::string IPAddress;
};

// The console always reads the section of the installed service.
inline constexpr std::string_view kConsoleSection = "BrivaneSvc";

// One value as both programs read it: NULs removed, blanks trimmed.
std::string ReadSettingText(const ProfileDocument& profile, std::string_view section,
                            std::string_view key, std::string_view defaultText);

// Reads COMPort, UDPBPort, TCPPort and IPAddress. Values outside their ranges (0-255,
// 1-65535, 1-65535, a valid address) fall back silently.
ServiceSettings LoadSettings(const ProfileDocument& profile, std::string_view section);

// Sets COMPort, UDPBPort and TCPPort, in that order; never IPAddress, so an address
// that is ignored stays as its owner wrote it.
void SaveSettings(ProfileDocument& profile, std::string_view section,
                  const ServiceSettings& settings);

// What the console takes from the file: the service's UDP port (1-65534, else 8466)
// and its address (empty unless valid).
struct ConsoleSettings {
  std::int32_t ConfiguredUdpPort = 8466;
  std::string ConfiguredIPAddress;
};

ConsoleSettings LoadConsoleSettings(const ProfileDocument& profile);

}  // namespace brivane
