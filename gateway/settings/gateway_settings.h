#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "gateway/settings/command_line.h"
#include "gateway/settings/host_port.h"

namespace brivane::gateway {

inline constexpr std::uint16_t kBridgePort = 8467;
inline constexpr std::uint16_t kMqttPort = 1883;
inline constexpr std::uint16_t kMqttTlsPort = 8883;

struct MqttSettings {
  HostPort broker;
  std::string username;
  std::optional<std::string> password;  // read from the password file
  std::string caFile;                   // TLS on when set
  std::string certFile;
  std::string keyFile;
  std::string topicPrefix = "brivane";
  std::string discoveryPrefix = "homeassistant";  // empty: no discovery
};

inline constexpr std::uint16_t kWebPort = 8480;

struct HistorySettings {
  std::filesystem::path path;  // the database file
  int days = 400;              // rows older than this many days are deleted
};

struct WebSettings {
  HostPort listen{"0.0.0.0", kWebPort};  // an IP address and port
  std::filesystem::path files;           // the dashboard's folder
};

struct GatewaySettings {
  std::filesystem::path file;  // the settings file read; empty when none
  HostPort bridge{"127.0.0.1", kBridgePort};
  std::string site;
  std::optional<MqttSettings> mqtt;  // empty Broker: no MQTT
  std::chrono::seconds interval{10};
  std::chrono::milliseconds silence{30000};
  std::chrono::milliseconds refresh{60000};
  HistorySettings history;
  std::optional<WebSettings> web;  // empty Listen: no web side
};

// What the settings depend on besides the file and the command line.
struct SettingsContext {
  std::filesystem::path defaultFile = "/etc/brivane/gateway.ini";
  std::string hostName;
  std::optional<std::filesystem::path> credentialsDirectory;  // CREDENTIALS_DIRECTORY
  std::optional<std::filesystem::path> stateDirectory;        // STATE_DIRECTORY
  std::filesystem::path executableDirectory;                  // where brivane-gateway lies
};

inline constexpr const char* kInstalledWebFiles = "/usr/share/brivane/web";

struct SettingsResult {
  std::optional<GatewaySettings> settings;
  std::string error;  // names the file, section, key and value (or the flag)
};

// The file (the default one may be missing), then the flags over it.
SettingsResult LoadSettings(const CommandLine& line, const SettingsContext& context);

// The host name, lower-cased, anything outside a-z 0-9 _ - replaced by '_'.
std::string SiteFromHostName(std::string_view hostName);

}  // namespace brivane::gateway
