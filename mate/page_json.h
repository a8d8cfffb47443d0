#pragma once

#include <chrono>
#include <nlohmann/json.hpp>

#include "mate/page.h"

namespace mate {

// The page as one JSON object: device, type, port, address, time (UTC, ISO 8601 with
// milliseconds), raw, and the values of its type. Numbers keep the page's own
// resolution; a FLEXnet DC page's extra-data item comes under its own key.
nlohmann::json PageJson(const Page& page, std::chrono::system_clock::time_point readAt);

// "2026-12-08T10:44:02.123Z"
std::string UtcTimeText(std::chrono::system_clock::time_point time);

}  // namespace mate
