#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/core/device_registry.h"
#include "gateway/core/history_reader.h"
#include "gateway/core/output.h"

namespace brivane::gateway {

// Unix seconds, or ISO 8601 in UTC: YYYY-MM-DDTHH:MM[:SS[.fff]] with Z, +00:00 or
// nothing after it. Nothing for anything else.
std::optional<std::int64_t> ParseTime(std::string_view text);

struct HistoryQuery {
  std::string device;
  std::string key;
  std::int64_t from = 0;
  std::int64_t to = 0;
  int points = 500;
};
inline constexpr int kMaxPoints = 10000;

// The /api/history parameters with their defaults (the last 24 hours before now, 500
// points), or the short text of what is wrong with them.
struct HistoryQueryParse {
  std::optional<HistoryQuery> query;
  std::string error;
};
HistoryQueryParse ParseHistoryQuery(const std::map<std::string, std::string>& parameters,
                                    std::int64_t now);

// A device as /api/state and the events show it; its last page's wall-clock time is
// found from how long ago it came.
nlohmann::json DeviceJson(const DeviceState& state, std::chrono::system_clock::time_point now,
                          std::chrono::steady_clock::time_point steadyNow);
nlohmann::json StatusJson(bool bridgeConnected, BrokerState broker);
nlohmann::json StateJson(const std::string& site, const std::string& version, bool bridgeConnected,
                         BrokerState broker, const DeviceRegistry& registry,
                         std::chrono::system_clock::time_point now,
                         std::chrono::steady_clock::time_point steadyNow);
nlohmann::json HistoryJson(const HistoryQuery& query, const std::vector<HistoryPoint>& points);
std::string ErrorJson(std::string_view text);

// One Server-Sent Event: "event: NAME\ndata: JSON\n\n".
std::string EventText(std::string_view name, const nlohmann::json& data);

// The media type of a file by its name's ending.
std::string ContentTypeFor(std::string_view path);

}  // namespace brivane::gateway
