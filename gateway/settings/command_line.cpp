#include "gateway/settings/command_line.h"

#include <string_view>
#include <utility>

namespace brivane::gateway {

const char* const kUsage =
    "Usage: brivane-gateway [--config FILE] [--bridge HOST[:PORT]] [--broker HOST[:PORT]]\n"
    "                       [--site NAME] [--interval SECONDS] [--help]\n"
    "\n"
    "Reads the MATE's pages from BrivaneSvc, decodes them and publishes them to an MQTT\n"
    "broker, with Home Assistant discovery; keeps their history and serves a web\n"
    "dashboard (settings [History] and [Web] of the settings file).\n"
    "\n"
    "  --config FILE        settings file (default /etc/brivane/gateway.ini)\n"
    "  --bridge HOST[:PORT] BrivaneSvc to read from (default 127.0.0.1:8467)\n"
    "  --broker HOST[:PORT] MQTT broker (default 127.0.0.1:1883)\n"
    "  --site NAME          name of this installation in topics and identifiers\n"
    "  --interval SECONDS   shortest time between two states of a device (default 10)\n"
    "  --help               this text\n";

CommandLineResult ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  const std::pair<std::string_view, std::optional<std::string> CommandLine::*> options[] = {
      {"--config", &CommandLine::config},           {"--bridge", &CommandLine::bridge},
      {"--broker", &CommandLine::broker},           {"--site", &CommandLine::site},
      {"--interval", &CommandLine::interval},       {"--test-silence-ms", &CommandLine::silence},
      {"--test-refresh-ms", &CommandLine::refresh},
  };
  for (std::size_t at = 0; at < args.size(); ++at) {
    std::string_view arg = args[at];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (const auto equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      inlineValue = std::string(arg.substr(equals + 1));
      arg = arg.substr(0, equals);
    }
    bool known = false;
    for (const auto& [name, member] : options) {
      if (arg != name) {
        continue;
      }
      known = true;
      if (inlineValue) {
        line.*member = *inlineValue;
      } else if (at + 1 < args.size()) {
        line.*member = args[++at];
      } else {
        return {std::nullopt, std::string(name) + " needs a value"};
      }
    }
    if (!known) {
      return {std::nullopt, "unknown option " + std::string(arg)};
    }
  }
  return {line, ""};
}

}  // namespace brivane::gateway
