// History benchmark: a year of plausible minutes for an FX, an MX and a FLEXnet DC in a
// fresh database, then the dashboard's query of one key over a day, a week, a month
// and the year at 500 points, timed. Prints the figures and writes them as JSON.
//
//   history-bench [--db PATH] [--json PATH] [--days N] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "gateway/history/history_store.h"
#include "gateway/history/minute_aggregator.h"
#include "tools/history-fill/solar_day.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

std::uintmax_t DatabaseBytes(const fs::path& db) {
  std::uintmax_t total = 0;
  for (const char* tail : {"", "-wal", "-shm"}) {
    std::error_code error;
    const auto size = fs::file_size(db.string() + tail, error);
    total += error ? 0 : size;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brivane;
  fs::path db = fs::temp_directory_path() / "brivane-history-bench.db";
  std::string jsonPath;
  int days = 365;
  int runs = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--db") {
      db = argv[i + 1];
    } else if (arg == "--json") {
      jsonPath = argv[i + 1];
    } else if (arg == "--days") {
      days = std::max(1, std::atoi(argv[i + 1]));
    } else if (arg == "--runs") {
      runs = std::max(1, std::atoi(argv[i + 1]));
    }
  }
  for (const char* tail : {"", "-wal", "-shm"}) {
    std::error_code ignored;
    fs::remove(db.string() + tail, ignored);
  }
  auto log = [](gateway::LogLevel, const std::string& text) {
    std::fprintf(stderr, "history-bench: %s\n", text.c_str());
  };
  const std::vector<std::string> devices = {"fx_0", "mx_1", "fndc_1"};
  const std::int64_t end = gateway::MinuteOf(std::time(nullptr));
  const auto fillStart = Clock::now();
  {
    gateway::HistoryStore store(log);
    if (!store.Open(db)) {
      return 1;
    }
    fill::SolarSystem system(1);
    gateway::MinuteAggregator minutes;
    for (std::int64_t time = end - static_cast<std::int64_t>(days) * 86400; time < end;) {
      const std::int64_t dayEnd = std::min(end, time + 86400);
      for (; time < dayEnd; time += 60) {
        const std::time_t at = static_cast<std::time_t>(time);
        std::tm utc{};
        gmtime_r(&at, &utc);
        for (int sample = 0; sample < 4; ++sample) {
          system.Step(time, utc.tm_hour + utc.tm_min / 60.0 + sample / 240.0, utc.tm_yday);
          minutes.Add("fx_0", system.Fx(), time + sample * 15);
          minutes.Add("mx_1", system.Mx(), time + sample * 15);
          minutes.Add("fndc_1", system.Fndc(), time + sample * 15);
        }
      }
      if (!store.Write(minutes.TakeClosed(dayEnd))) {
        return 1;
      }
    }
  }
  const double fillSeconds = Milliseconds(Clock::now() - fillStart) / 1000;
  const auto bytes = DatabaseBytes(db);

  // A fresh connection, as the gateway has after a restart, queried as the page does.
  gateway::HistoryStore store(log);
  if (!store.Open(db)) {
    return 1;
  }
  nlohmann::json ranges = nlohmann::json::array();
  std::printf("history: %d days of %zu devices, %.1f MB, filled in %.1f s\n", days, devices.size(),
              static_cast<double>(bytes) / 1e6, fillSeconds);
  std::printf("%-8s %8s %10s %10s %10s\n", "range", "points", "first ms", "median ms", "max ms");
  const std::vector<std::pair<std::string, std::int64_t>> spans = {
      {"24h", 86400}, {"7d", 7 * 86400}, {"30d", 30 * 86400}, {"year", 365 * 86400}};
  for (const auto& [name, span] : spans) {
    std::vector<double> times;
    std::size_t points = 0;
    for (int run = 0; run < runs; ++run) {
      const auto start = Clock::now();
      points = store.Query("fndc_1", "battery_voltage", end - span, end, 500).size();
      times.push_back(Milliseconds(Clock::now() - start));
    }
    const double first = times.front();
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-8s %8zu %10.2f %10.2f %10.2f\n", name.c_str(), points, first, median,
                times.back());
    ranges.push_back({{"range", name},
                      {"points", points},
                      {"first_ms", first},
                      {"median_ms", median},
                      {"max_ms", times.back()}});
  }
  if (!jsonPath.empty()) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::ofstream(jsonPath) << nlohmann::json{{"benchmark", "history"},
                                              {"time", stamp},
                                              {"days", days},
                                              {"devices", devices},
                                              {"database_bytes", bytes},
                                              {"fill_seconds", fillSeconds},
                                              {"runs", runs},
                                              {"queries", ranges}}
                                   .dump(2)
                            << "\n";
  }
  return 0;
}
