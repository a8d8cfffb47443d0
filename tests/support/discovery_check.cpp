#include "tests/support/discovery_check.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

}  // namespace

std::string DiscoveryDumpLine(const MqttMessage& message) {
  return "{\"topic\": " + JsonString(message.topic) +
         ", \"payload\": " + JsonString(message.payload) +
         ", \"retained\": " + (message.retained ? "true" : "false") + "}";
}

DiscoveryCheck CheckDiscovery(const std::vector<MqttMessage>& messages,
                              const std::string& discoveryPrefix, const std::string& topicPrefix) {
  const TempFolder folder("brivane-discovery");
  const std::filesystem::path dump = folder / "messages.jsonl";
  {
    std::ofstream file(dump);
    for (const MqttMessage& message : messages) {
      file << DiscoveryDumpLine(message) << "\n";
    }
  }
  ChildProcess checker("/usr/bin/python3",
                       SpawnOptions{{BRIVANE_CHECK_DISCOVERY_SCRIPT, "--discovery-prefix",
                                     discoveryPrefix, "--topic-prefix", topicPrefix, dump.string()},
                                    {},
                                    {}});
  DiscoveryCheck result;
  result.exitStatus = checker.WaitForExit(kPatience).value_or(-1);
  result.faults = checker.StdoutLines();
  for (const std::string& line : checker.StderrLines()) {
    result.faults.push_back(line);
  }
  return result;
}

}  // namespace brivane::testkit
