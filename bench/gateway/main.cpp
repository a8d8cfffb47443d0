// Gateway benchmark: what brivane-gateway costs next to BrivaneSvc while an FX, an MX
// and a FLEXnet DC fill a 19200-baud line with pages, how long a page takes from the
// line to an MQTT subscriber, and whether either program pays for more subscribers.
// Each run starts its own broker, service and gateway; runs go one after the other.
//
//   gateway-bench [--seconds D] [--warm-up S] [--intervals 0,10] [--subscribers 1,100,1000]
//                 [--settings FILE] [--label TEXT] [--gateway PROGRAM] [--companion COMMAND]
//                 [--json PATH]
//
// BrivaneSvc comes from BRIVANE_BIN_DIR (default: this program's folder) or
// BRIVANE_SERVICE_PROGRAM, as for the tests.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/gateway/gateway_run.h"
#include "bench/gateway/run_report.h"

namespace brivane::bench {
namespace {

struct Options {
  double seconds = 60;
  double warmUp = 3;
  std::vector<int> intervals{0, 10};
  std::vector<int> subscribers{1, 100, 1000};
  std::string settings;  // empty: a file without keys, every default
  std::string label;
  std::string gateway;
  std::string companion;
  std::string json;
};

std::vector<int> Numbers(const std::string& text) {
  std::vector<int> numbers;
  std::istringstream list(text);
  for (std::string item; std::getline(list, item, ',');) {
    char* end = nullptr;
    const long value = std::strtol(item.c_str(), &end, 10);
    if (item.empty() || *end != '\0' || value < 0 || value > 100000) {
      return {};
    }
    numbers.push_back(static_cast<int>(value));
  }
  return numbers;
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string word = argv[i];
    const std::string value = argv[i + 1];
    if (word == "--seconds") {
      options.seconds = std::atof(value.c_str());
    } else if (word == "--warm-up") {
      options.warmUp = std::atof(value.c_str());
    } else if (word == "--intervals") {
      options.intervals = Numbers(value);
    } else if (word == "--subscribers") {
      options.subscribers = Numbers(value);
    } else if (word == "--settings") {
      options.settings = value;
    } else if (word == "--label") {
      options.label = value;
    } else if (word == "--gateway") {
      options.gateway = value;
    } else if (word == "--companion") {
      options.companion = value;
    } else if (word == "--json") {
      options.json = value;
    } else {
      return false;
    }
  }
  const bool subscribersValid = !options.subscribers.empty() &&
                                std::all_of(options.subscribers.begin(), options.subscribers.end(),
                                            [](int n) { return n > 0; });
  return argc % 2 == 1 && options.seconds > 0 && options.warmUp >= 0 &&
         !options.intervals.empty() && subscribersValid;
}

// A thousand subscribers here and as many connections in the broker, which inherits
// the limit.
void RaiseDescriptorLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

std::string UtcNow() {
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return when;
}

}  // namespace
}  // namespace brivane::bench

int main(int argc, char** argv) {
  using namespace brivane::bench;
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: gateway-bench [--seconds D] [--warm-up S] [--intervals 0,10] "
                 "[--subscribers 1,100,1000] [--settings FILE] [--label TEXT] "
                 "[--gateway PROGRAM] [--companion COMMAND] [--json PATH]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  RaiseDescriptorLimit();
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  setenv("BRIVANE_BIN_DIR", self.parent_path().c_str(), 0);
  if (options.gateway.empty()) {
    options.gateway = (std::filesystem::path(std::getenv("BRIVANE_BIN_DIR")) / "brivane-gateway");
  }
  std::string settings;
  if (!options.settings.empty()) {
    std::ifstream file(options.settings);
    if (!file) {
      std::fprintf(stderr, "gateway-bench: cannot read %s\n", options.settings.c_str());
      return 2;
    }
    std::ostringstream text;
    text << file.rdbuf();
    settings = text.str();
    if (options.label.empty()) {
      options.label = std::filesystem::path(options.settings).stem().string();
    }
  }
  if (options.label.empty()) {
    options.label = "defaults";
  }

  const std::string when = UtcNow();
  std::vector<RunResult> runs;
  bool clean = true;
  for (const int interval : options.intervals) {
    for (const int subscribers : options.subscribers) {
      RunPlan plan;
      plan.label = options.label;
      plan.interval = interval;
      plan.subscribers = subscribers;
      plan.seconds = options.seconds;
      plan.warmUp = options.warmUp;
      plan.settingsTemplate = settings;
      plan.gatewayProgram = options.gateway;
      plan.companion = options.companion;
      std::fprintf(stderr, "gateway-bench: %s, interval %d, %d subscribers, %.0f s\n",
                   plan.label.c_str(), interval, subscribers, plan.seconds);
      try {
        RunResult run = Run(plan);
        const bool sound = run.statesPerDevice.size() == 3 && run.statesUnmatched == 0 &&
                           (interval != 0 || run.pagesWithoutState == 0) &&
                           run.subscribersClosed == 0 && run.gatewayExit == 0;
        if (!sound) {
          std::fprintf(stderr, "gateway-bench: this run is not sound (see its JSON)\n");
          clean = false;
        }
        runs.push_back(std::move(run));
      } catch (const std::exception& error) {
        std::fprintf(stderr, "gateway-bench: %s\n", error.what());
        clean = false;
      }
    }
  }
  std::printf("\n");
  PrintTable(runs);
  const std::string json = ReportJson(runs, when).dump(2) + "\n";
  if (!options.json.empty()) {
    std::ofstream(options.json) << json;
  }
  return clean ? 0 : 1;
}
