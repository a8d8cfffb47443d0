#include "gateway/history/minute_aggregator.h"

#include <string_view>

namespace brivane::gateway {

std::map<std::string, double> NumericValues(const nlohmann::json& state) {
  std::map<std::string, double> values;
  if (!state.is_object()) {
    return values;
  }
  for (const auto& [key, value] : state.items()) {
    const std::string_view name = key;
    if (!value.is_number() || name == "port" || name.ends_with("_bits") ||
        name.ends_with("_code")) {
      continue;
    }
    values[key] = value.get<double>();
  }
  return values;
}

std::int64_t MinuteOf(std::int64_t time) {
  const std::int64_t rest = time % 60;
  return time - (rest < 0 ? rest + 60 : rest);
}

void MinuteAggregator::Add(const std::string& device, const nlohmann::json& state,
                           std::int64_t time) {
  const std::int64_t minute = MinuteOf(time);
  auto found = open_.find(device);
  if (found != open_.end() && found->second.time != minute) {
    // A clock stepped back starts a minute of its own too; the store merges repeats.
    closed_.push_back(std::move(found->second));
    open_.erase(found);
    found = open_.end();
  }
  if (found == open_.end()) {
    found = open_.emplace(device, SpanRow{device, minute, {}}).first;
  }
  for (const auto& [key, value] : NumericValues(state)) {
    found->second.values[key].Add(value);
  }
}

std::vector<SpanRow> MinuteAggregator::TakeClosed(std::int64_t time) {
  const std::int64_t minute = MinuteOf(time);
  std::vector<SpanRow> rows = std::move(closed_);
  closed_.clear();
  for (auto it = open_.begin(); it != open_.end();) {
    if (it->second.time < minute) {
      rows.push_back(std::move(it->second));
      it = open_.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(rows, [](const SpanRow& row) { return row.values.empty(); });
  return rows;
}

std::vector<SpanRow> MinuteAggregator::TakeAll() {
  std::vector<SpanRow> rows = std::move(closed_);
  closed_.clear();
  for (auto& [device, row] : open_) {
    rows.push_back(std::move(row));
  }
  open_.clear();
  std::erase_if(rows, [](const SpanRow& row) { return row.values.empty(); });
  return rows;
}

}  // namespace brivane::gateway
