#pragma once

#include <string>
#include <vector>

#include "tests/support/mqtt_broker.h"

namespace brivane::testkit {

struct DiscoveryCheck {
  int exitStatus = -1;              // 0 clean, 1 faults, 2 unreadable input
  std::vector<std::string> faults;  // one per line, as the checker words them
};

// Home Assistant's discovery rules, checked offline by tests/gateway/check_discovery.py
// over the messages a subscriber received (the latest message per topic counts).
DiscoveryCheck CheckDiscovery(const std::vector<MqttMessage>& messages,
                              const std::string& discoveryPrefix = "homeassistant",
                              const std::string& topicPrefix = "brivane");

// One line of the checker's input: {"topic": ..., "payload": ..., "retained": ...}.
std::string DiscoveryDumpLine(const MqttMessage& message);

}  // namespace brivane::testkit
