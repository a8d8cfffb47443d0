#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brivane::gateway {

// brivane-gateway's command line as typed; values are checked with the settings.
struct CommandLine {
  std::optional<std::string> config;
  std::optional<std::string> bridge;
  std::optional<std::string> broker;
  std::optional<std::string> site;
  std::optional<std::string> interval;
  // Undocumented, for tests that cannot wait the real times: milliseconds.
  std::optional<std::string> silence;  // a device's pages missing this long: offline
  std::optional<std::string> refresh;  // an unchanged state is published again after this
  bool help = false;
};

struct CommandLineResult {
  std::optional<CommandLine> line;
  std::string error;  // when line is empty
};

// "--name VALUE" or "--name=VALUE".
CommandLineResult ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace brivane::gateway
