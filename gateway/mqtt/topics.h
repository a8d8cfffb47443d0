#pragma once

#include <string>

namespace brivane::gateway {

// The names everything is published under; the topics are an interface users rely on.
struct TopicNames {
  std::string topicPrefix = "brivane";
  std::string discoveryPrefix = "homeassistant";  // empty: no discovery
  std::string site;

  std::string Status() const { return topicPrefix + "/" + site + "/status"; }
  std::string State(const std::string& device) const {
    return topicPrefix + "/" + site + "/" + device + "/state";
  }
  std::string Availability(const std::string& device) const {
    return topicPrefix + "/" + site + "/" + device + "/availability";
  }
  // Home Assistant's birth and last will.
  std::string HomeAssistantStatus() const { return discoveryPrefix + "/status"; }
  std::string GatewayId() const { return "brivane_" + site; }
  std::string DeviceId(const std::string& device) const { return GatewayId() + "_" + device; }
  std::string GatewayConfig() const {
    return discoveryPrefix + "/device/" + GatewayId() + "/config";
  }
  std::string DeviceConfig(const std::string& device) const {
    return discoveryPrefix + "/device/" + DeviceId(device) + "/config";
  }
};

}  // namespace brivane::gateway
