// history-fill: plausible past days in a history database, so that the dashboard's
// charts show something on a first run, in screenshots and benchmarks.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "gateway/history/history_store.h"
#include "gateway/history/minute_aggregator.h"
#include "tools/history-fill/solar_day.h"

namespace {

const char* const kUsage =
    "Usage: history-fill --db FILE [--days N] [--devices fx_0,mx_1,fndc_1]\n"
    "\n"
    "Fills a brivane-gateway history database with N days (default 7) of a plausible\n"
    "off-grid system up to now: an FX inverter, an MX charge controller and a FLEXnet DC\n"
    "battery monitor, each named by --devices (the type is the name's start).\n";

struct Options {
  std::string db;
  int days = 7;
  std::vector<std::string> devices{"fx_0", "mx_1", "fndc_1"};
};

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) {
      return false;
    }
    const std::string value = argv[++i];
    if (arg == "--db") {
      options.db = value;
    } else if (arg == "--days") {
      char* end = nullptr;
      const long days = std::strtol(value.c_str(), &end, 10);
      if (*end != '\0' || days < 1 || days > 3660) {
        return false;
      }
      options.days = static_cast<int>(days);
    } else if (arg == "--devices") {
      options.devices.clear();
      std::size_t at = 0;
      while (at <= value.size()) {
        const std::size_t comma = std::min(value.find(',', at), value.size());
        if (comma > at) {
          options.devices.push_back(value.substr(at, comma - at));
        }
        at = comma + 1;
      }
    } else {
      return false;
    }
  }
  return !options.db.empty();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brivane;
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  gateway::HistoryStore store([](gateway::LogLevel, const std::string& text) {
    std::fprintf(stderr, "history-fill: %s\n", text.c_str());
  });
  if (!store.Open(options.db)) {
    return 1;
  }
  const std::int64_t now = std::time(nullptr);
  const std::int64_t end = gateway::MinuteOf(now);
  std::int64_t time = end - static_cast<std::int64_t>(options.days) * 86400;
  fill::SolarSystem system(static_cast<std::uint32_t>(time));
  gateway::MinuteAggregator minutes;
  while (time < end) {
    // A day per transaction.
    const std::int64_t dayEnd = std::min(end, time + 86400);
    for (; time < dayEnd; time += 60) {
      const std::time_t at = static_cast<std::time_t>(time);
      std::tm local{};
      localtime_r(&at, &local);
      const double hour = local.tm_hour + local.tm_min / 60.0;
      // A few states a minute, as the gateway sees them, for a band around the mean.
      for (int sample = 0; sample < 4; ++sample) {
        system.Step(time, hour + sample / 240.0, local.tm_yday);
        for (const std::string& device : options.devices) {
          const nlohmann::json state = device.starts_with("fx")   ? system.Fx()
                                       : device.starts_with("mx") ? system.Mx()
                                                                  : system.Fndc();
          minutes.Add(device, state, time + sample * 15);
        }
      }
    }
    if (!store.Write(minutes.TakeClosed(dayEnd))) {
      return 1;
    }
  }
  if (!store.Write(minutes.TakeAll())) {
    return 1;
  }
  std::printf("history-fill: %d days of %zu devices in %s\n", options.days, options.devices.size(),
              options.db.c_str());
  return 0;
}
