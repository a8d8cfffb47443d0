#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bench/gateway/gateway_run.h"

namespace brivane::bench {

nlohmann::json RunJson(const RunResult& run);
// Every run with the time it began and the machine it ran on.
nlohmann::json ReportJson(const std::vector<RunResult>& runs, const std::string& when);
// One row per run: what it cost the gateway, the service and the broker.
void PrintTable(const std::vector<RunResult>& runs);

}  // namespace brivane::bench
