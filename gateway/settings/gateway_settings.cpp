#include "gateway/settings/gateway_settings.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <functional>

#include "common/file_text.h"
#include "common/profile_file.h"

namespace brivane::gateway {
namespace {

namespace fs = std::filesystem;

// One value and where it came from, for the error that names it.
struct Source {
  std::string where;  // "FILE, section [S], key K" or "--flag"
  std::string value;
};

std::string Quoted(std::string_view value) {
  return "\"" + std::string(value) + "\"";
}

std::string Problem(const Source& source, std::string_view what) {
  return source.where + ": " + Quoted(source.value) + " " + std::string(what);
}

bool TopicIdCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

// A topic level or levels the gateway publishes under: no wildcards, no empty level.
bool ValidTopicPrefix(std::string_view text) {
  if (text.empty() || text.front() == '/' || text.back() == '/' || text.find("//") != text.npos) {
    return false;
  }
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c != '+' && c != '#' && c != '\0' && !std::isspace(static_cast<unsigned char>(c));
  });
}

std::optional<long long> WholeNumber(std::string_view text, long long low, long long high) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  long long value = 0;
  for (char c : text) {
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

class Reader {
 public:
  explicit Reader(fs::path file) : file_(std::move(file)) {}

  Source Get(std::string_view section, std::string_view key, std::string_view fallback) const {
    Source source{
        file_.string() + ", section [" + std::string(section) + "], key " + std::string(key),
        std::string(fallback)};
    if (!file_.empty()) {
      source.value = GetProfileString(file_, section, key, fallback);
    }
    return source;
  }

 private:
  fs::path file_;
};

Source FlagOr(const std::optional<std::string>& flag, std::string_view name, Source fromFile) {
  if (flag) {
    return Source{std::string(name), *flag};
  }
  return fromFile;
}

std::string ReadableError(const Source& source) {
  std::error_code error;
  if (!fs::is_regular_file(source.value, error)) {
    return Problem(source, "is not a file that can be read");
  }
  if (!ReadWholeFile(source.value)) {
    return Problem(source, std::string("cannot be read: ") + std::strerror(errno));
  }
  return {};
}

// The first line of the password file, which must be kept from everyone but its owner.
std::optional<std::string> ReadPassword(const Source& source, const SettingsContext& context,
                                        std::string& error) {
  if (context.credentialsDirectory) {
    const fs::path passed = *context.credentialsDirectory / "mqtt-password";
    if (auto text = ReadWholeFile(passed)) {
      return text->substr(0, text->find_first_of("\r\n"));
    }
  }
  struct stat status {};
  if (stat(source.value.c_str(), &status) != 0) {
    error = Problem(source, std::string("cannot be read: ") + std::strerror(errno));
    return std::nullopt;
  }
  if ((status.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
    error = Problem(source,
                    "can be read by other users; let only its owner read it (chmod 600) "
                    "or pass it with LoadCredential=mqtt-password");
    return std::nullopt;
  }
  auto text = ReadWholeFile(source.value);
  if (!text) {
    error = Problem(source, std::string("cannot be read: ") + std::strerror(errno));
    return std::nullopt;
  }
  return text->substr(0, text->find_first_of("\r\n"));
}

std::string LoadMqtt(const Reader& file, const CommandLine& line, const SettingsContext& context,
                     GatewaySettings& settings) {
  const Source broker =
      FlagOr(line.broker, "--broker",
             file.Get("MQTT", "Broker", "127.0.0.1:" + std::to_string(kMqttPort)));
  if (broker.value.find_first_not_of(" \t") == std::string::npos) {
    return {};  // MQTT off
  }
  MqttSettings mqtt;
  const Source ca = file.Get("MQTT", "CAFile", "");
  mqtt.caFile = ca.value;
  const auto address = ParseHostPort(broker.value, ca.value.empty() ? kMqttPort : kMqttTlsPort);
  if (!address) {
    return Problem(broker, "is not HOST[:PORT] with a port from 1 to 65535");
  }
  mqtt.broker = *address;
  if (!ca.value.empty()) {
    if (auto error = ReadableError(ca); !error.empty()) {
      return error;
    }
  }
  const Source cert = file.Get("MQTT", "CertFile", "");
  const Source key = file.Get("MQTT", "KeyFile", "");
  for (const Source* source : {&cert, &key}) {
    if (!source->value.empty()) {
      if (auto error = ReadableError(*source); !error.empty()) {
        return error;
      }
    }
  }
  if (cert.value.empty() != key.value.empty()) {
    return Problem(cert.value.empty() ? key : cert,
                   "needs both CertFile and KeyFile for a client certificate");
  }
  if (!cert.value.empty() && ca.value.empty()) {
    return Problem(cert, "needs CAFile: a client certificate is used only with TLS");
  }
  mqtt.certFile = cert.value;
  mqtt.keyFile = key.value;
  mqtt.username = file.Get("MQTT", "Username", "").value;
  const Source passwordFile = file.Get("MQTT", "PasswordFile", "");
  if (!passwordFile.value.empty()) {
    std::string error;
    mqtt.password = ReadPassword(passwordFile, context, error);
    if (!mqtt.password) {
      return error;
    }
  }
  const Source topicPrefix = file.Get("MQTT", "TopicPrefix", "brivane");
  if (!ValidTopicPrefix(topicPrefix.value)) {
    return Problem(topicPrefix, "is not a topic prefix (no '+', '#', blanks or empty levels)");
  }
  mqtt.topicPrefix = topicPrefix.value;
  const Source discoveryPrefix = file.Get("MQTT", "DiscoveryPrefix", "homeassistant");
  if (!discoveryPrefix.value.empty() && !ValidTopicPrefix(discoveryPrefix.value)) {
    return Problem(discoveryPrefix, "is not a topic prefix (no '+', '#', blanks or empty levels)");
  }
  mqtt.discoveryPrefix = discoveryPrefix.value;
  settings.mqtt = std::move(mqtt);
  return {};
}

bool IpAddress(const std::string& text) {
  unsigned char address[16];
  return inet_pton(AF_INET, text.c_str(), address) == 1 ||
         inet_pton(AF_INET6, text.c_str(), address) == 1;
}

std::string LoadHistory(const Reader& file, const SettingsContext& context,
                        GatewaySettings& settings) {
  const Source days = file.Get("History", "Days", "400");
  const auto number = WholeNumber(days.value, 1, 36500);
  if (!number) {
    return Problem(days, "is not a number of days from 1 to 36500");
  }
  settings.history.days = static_cast<int>(*number);
  const Source path = file.Get("History", "Path", "");
  if (!path.value.empty()) {
    settings.history.path = path.value;
  } else if (context.stateDirectory) {
    settings.history.path = *context.stateDirectory / "history.db";
  } else {
    settings.history.path = "history.db";
  }
  return {};
}

std::string LoadWeb(const Reader& file, const SettingsContext& context, GatewaySettings& settings) {
  const Source listen = file.Get("Web", "Listen", "0.0.0.0:" + std::to_string(kWebPort));
  if (listen.value.find_first_not_of(" \t") == std::string::npos) {
    return {};  // web side off
  }
  const auto address = ParseHostPort(listen.value, kWebPort);
  if (!address || !IpAddress(address->host)) {
    return Problem(listen, "is not ADDRESS[:PORT] with an IP address and a port from 1 to 65535");
  }
  WebSettings web;
  web.listen = *address;
  const Source files = file.Get("Web", "Files", "");
  if (!files.value.empty()) {
    std::error_code error;
    if (!fs::is_directory(files.value, error)) {
      return Problem(files, "is not a folder");
    }
    web.files = files.value;
  } else {
    std::error_code error;
    const fs::path built = context.executableDirectory / "web";
    web.files = !context.executableDirectory.empty() && fs::is_directory(built, error)
                    ? built
                    : fs::path(kInstalledWebFiles);
  }
  settings.web = std::move(web);
  return {};
}

}  // namespace

std::string SiteFromHostName(std::string_view hostName) {
  std::string site;
  for (char c : hostName) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    site += (std::isalnum(static_cast<unsigned char>(lower)) &&
             static_cast<unsigned char>(lower) < 128) ||
                    lower == '_' || lower == '-'
                ? lower
                : '_';
  }
  return site.empty() ? "brivane" : site;
}

SettingsResult LoadSettings(const CommandLine& line, const SettingsContext& context) {
  GatewaySettings settings;
  fs::path file = line.config ? fs::path(*line.config) : context.defaultFile;
  std::error_code error;
  if (!fs::exists(file, error)) {
    if (line.config) {
      return {std::nullopt, "--config: " + Quoted(file.string()) + " does not exist"};
    }
    file.clear();  // no settings file: the defaults
  } else if (!ReadWholeFile(file)) {
    return {std::nullopt, Quoted(file.string()) + " cannot be read: " + std::strerror(errno)};
  }
  settings.file = file;
  const Reader reader(file);

  const Source bridge =
      FlagOr(line.bridge, "--bridge", reader.Get("Gateway", "Bridge", settings.bridge.Text()));
  const auto bridgeAddress = ParseHostPort(bridge.value, kBridgePort);
  if (!bridgeAddress) {
    return {std::nullopt, Problem(bridge, "is not HOST[:PORT] with a port from 1 to 65535")};
  }
  settings.bridge = *bridgeAddress;

  const Source site = FlagOr(line.site, "--site",
                             reader.Get("Gateway", "Site", SiteFromHostName(context.hostName)));
  if (site.value.empty() || site.value.size() > 64 ||
      !std::all_of(site.value.begin(), site.value.end(), TopicIdCharacter)) {
    return {std::nullopt,
            Problem(site, "is not a site name (1 to 64 of the characters a-z A-Z 0-9 _ -)")};
  }
  settings.site = site.value;

  const Source interval = FlagOr(line.interval, "--interval", reader.Get("MQTT", "Interval", "10"));
  const auto seconds = WholeNumber(interval.value, 0, 86400);
  if (!seconds) {
    return {std::nullopt, Problem(interval, "is not a number of seconds from 0 to 86400")};
  }
  settings.interval = std::chrono::seconds(*seconds);

  const std::pair<const std::optional<std::string>*, std::chrono::milliseconds*> knobs[] = {
      {&line.silence, &settings.silence}, {&line.refresh, &settings.refresh}};
  for (const auto& [flag, target] : knobs) {
    if (*flag) {
      const auto ms = WholeNumber(**flag, 1, 86400000);
      if (!ms) {
        return {std::nullopt, Problem(Source{"test option", **flag}, "is not milliseconds")};
      }
      *target = std::chrono::milliseconds(*ms);
    }
  }

  if (auto problem = LoadMqtt(reader, line, context, settings); !problem.empty()) {
    return {std::nullopt, problem};
  }
  if (auto problem = LoadHistory(reader, context, settings); !problem.empty()) {
    return {std::nullopt, problem};
  }
  if (auto problem = LoadWeb(reader, context, settings); !problem.empty()) {
    return {std::nullopt, problem};
  }
  return {std::move(settings), ""};
}

}  // namespace brivane::gateway
