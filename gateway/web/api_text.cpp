#include "gateway/web/api_text.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "mate/page_json.h"

namespace brivane::gateway {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size() || !AllDigits(text.substr(at, count))) {
    return std::nullopt;
  }
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Three decimals are more than any MATE value carries.
double Rounded(double value) {
  return std::round(value * 1000) / 1000;
}

}  // namespace

std::optional<std::int64_t> ParseTime(std::string_view text) {
  if (AllDigits(text)) {
    if (text.size() > 11) {
      return std::nullopt;
    }
    return std::stoll(std::string(text));
  }
  // YYYY-MM-DDTHH:MM
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  const auto hour = Digits(text, 11, 2);
  const auto minute = Digits(text, 14, 2);
  if (!year || !month || !day || !hour || !minute || text[4] != '-' || text[7] != '-' ||
      (text[10] != 'T' && text[10] != 't' && text[10] != ' ') || text[13] != ':') {
    return std::nullopt;
  }
  std::size_t at = 16;
  int second = 0;
  if (at < text.size() && text[at] == ':') {
    const auto seconds = Digits(text, at + 1, 2);
    if (!seconds) {
      return std::nullopt;
    }
    second = *seconds;
    at += 3;
    if (at < text.size() && text[at] == '.') {
      ++at;
      const std::size_t start = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        ++at;
      }
      if (at == start) {
        return std::nullopt;
      }
    }
  }
  const std::string_view zone = text.substr(at);
  if (!zone.empty() && zone != "Z" && zone != "z" && zone != "+00:00" && zone != "+0000") {
    return std::nullopt;
  }
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 ||
      second > 60) {
    return std::nullopt;
  }
  std::tm utc{};
  utc.tm_year = *year - 1900;
  utc.tm_mon = *month - 1;
  utc.tm_mday = *day;
  utc.tm_hour = *hour;
  utc.tm_min = *minute;
  utc.tm_sec = second;
  const std::time_t time = timegm(&utc);
  if (utc.tm_mday != *day) {
    return std::nullopt;  // 31 April and the like
  }
  return static_cast<std::int64_t>(time);
}

HistoryQueryParse ParseHistoryQuery(const std::map<std::string, std::string>& parameters,
                                    std::int64_t now) {
  HistoryQuery query;
  auto get = [&](const char* name) -> const std::string* {
    const auto found = parameters.find(name);
    return found == parameters.end() ? nullptr : &found->second;
  };
  const std::string* device = get("device");
  const std::string* key = get("key");
  if (device == nullptr || device->empty()) {
    return {std::nullopt, "device missing"};
  }
  if (key == nullptr || key->empty()) {
    return {std::nullopt, "key missing"};
  }
  query.device = *device;
  query.key = *key;
  query.to = now;
  query.from = now - 86400;
  if (const std::string* from = get("from")) {
    const auto time = ParseTime(*from);
    if (!time) {
      return {std::nullopt, "malformed from"};
    }
    query.from = *time;
  }
  if (const std::string* to = get("to")) {
    const auto time = ParseTime(*to);
    if (!time) {
      return {std::nullopt, "malformed to"};
    }
    query.to = *time;
  }
  if (query.from >= query.to) {
    return {std::nullopt, "from is not before to"};
  }
  if (const std::string* points = get("points")) {
    if (!AllDigits(*points) || points->size() > 6 || std::stoi(*points) < 1 ||
        std::stoi(*points) > kMaxPoints) {
      return {std::nullopt, "points is not a number from 1 to " + std::to_string(kMaxPoints)};
    }
    query.points = std::stoi(*points);
  }
  return {query, ""};
}

nlohmann::json DeviceJson(const DeviceState& state, std::chrono::system_clock::time_point now,
                          std::chrono::steady_clock::time_point steadyNow) {
  const auto ago =
      std::chrono::duration_cast<std::chrono::system_clock::duration>(steadyNow - state.lastPage);
  return {{"device", state.device},
          {"online", state.online},
          {"last_page", mate::UtcTimeText(now - ago)},
          {"state", state.json}};
}

nlohmann::json StatusJson(bool bridgeConnected, BrokerState broker) {
  const char* text = broker == BrokerState::kConnected      ? "connected"
                     : broker == BrokerState::kDisconnected ? "disconnected"
                                                            : "off";
  return {{"bridge", {{"connected", bridgeConnected}}}, {"broker", {{"state", text}}}};
}

nlohmann::json StateJson(const std::string& site, const std::string& version, bool bridgeConnected,
                         BrokerState broker, const DeviceRegistry& registry,
                         std::chrono::system_clock::time_point now,
                         std::chrono::steady_clock::time_point steadyNow) {
  nlohmann::json out = StatusJson(bridgeConnected, broker);
  out["site"] = site;
  out["version"] = version;
  out["time"] = mate::UtcTimeText(now);
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& [name, state] : registry.States()) {  // a map: sorted by name
    devices.push_back(DeviceJson(state, now, steadyNow));
  }
  out["devices"] = std::move(devices);
  return out;
}

nlohmann::json HistoryJson(const HistoryQuery& query, const std::vector<HistoryPoint>& points) {
  nlohmann::json series = nlohmann::json::array();
  for (const HistoryPoint& point : points) {
    series.push_back({point.time, Rounded(point.mean), Rounded(point.min), Rounded(point.max)});
  }
  return {{"device", query.device},
          {"key", query.key},
          {"from", query.from},
          {"to", query.to},
          {"points", std::move(series)}};
}

std::string ErrorJson(std::string_view text) {
  return nlohmann::json{{"error", text}}.dump();
}

std::string EventText(std::string_view name, const nlohmann::json& data) {
  // dump() escapes line ends, so the data is one line.
  return "event: " + std::string(name) +
         "\ndata: " + data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

std::string ContentTypeFor(std::string_view path) {
  static const std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".webmanifest", "application/manifest+json"},
      {".txt", "text/plain; charset=utf-8"},
  };
  for (const auto& [ending, type] : kTypes) {
    if (path.ends_with(ending)) {
      return std::string(type);
    }
  }
  return "application/octet-stream";
}

}  // namespace brivane::gateway
