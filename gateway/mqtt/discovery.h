#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/mqtt/topics.h"
#include "mate/page.h"

namespace brivane::gateway {

// How one key of a device's state appears in Home Assistant.
enum class EntityKind {
  kMeasurement,  // a number with a device class, unit and state class
  kEnum,         // a text from a fixed list
  kProblem,      // a list of texts: on while it is not empty, the texts as attributes
  kFlag,         // a bool
  kCode,         // a raw code: diagnostic, hidden until the user enables it
};

struct EntitySpec {
  std::string_view key;
  std::string_view name;
  EntityKind kind;
  std::string_view deviceClass;  // empty: none
  std::string_view unit;
  std::string_view stateClass;
  int precision = -1;                     // suggested display precision; -1: none
  std::vector<std::string_view> options;  // kEnum
  bool diagnostic = false;
  bool extraData = false;  // a FLEXnet DC item that only some pages carry
};

// The entities of a device type, one per key of its state that Home Assistant shows.
const std::vector<EntitySpec>& EntitySpecs(mate::DeviceType type);

struct DeviceIdentity {
  std::string device;  // "fx_0"
  mate::DeviceType type;
  int port = 0;
};

// The retained device-based discovery config of one MATE device. Extra-data entities
// appear once the state holds their key, so that none reads a value never sent.
nlohmann::json DeviceDiscovery(const TopicNames& names, const DeviceIdentity& identity,
                               std::string_view version, const nlohmann::json& state);
// How many extra-data keys the state holds: the config changes when this does.
int ExtraDataSeen(const nlohmann::json& state);
// The config of the gateway itself, the device that the MATE devices are reached through.
nlohmann::json GatewayDiscovery(const TopicNames& names, std::string_view version);

}  // namespace brivane::gateway
