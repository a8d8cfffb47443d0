#include "bench/gateway/run_report.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace brivane::bench {

namespace {

nlohmann::json CostJson(const ProcessCost& cost, double seconds) {
  return {{"cpu_seconds", cost.cpuSeconds},
          {"cpu_user_seconds", cost.userSeconds},
          {"cpu_sys_seconds", cost.systemSeconds},
          {"cpu_seconds_schedstat", cost.runSeconds},
          {"peak_rss_kib", cost.peakRssKiB},
          {"wake_ups", cost.wakeUps},
          {"wake_ups_per_second", seconds > 0 ? static_cast<double>(cost.wakeUps) / seconds : 0},
          {"voluntary_switches", cost.voluntarySwitches},
          {"involuntary_switches", cost.involuntarySwitches},
          {"read_calls", cost.readCalls},
          {"write_calls", cost.writeCalls},
          {"threads", cost.threads}};
}

nlohmann::json LoadJson(const LoadAverage& load) {
  return nlohmann::json::array({load.one, load.five, load.fifteen});
}

std::string Machine() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

}  // namespace

nlohmann::json RunJson(const RunResult& run) {
  const auto& received = run.receivedPerSubscriber;
  nlohmann::json json = {
      {"label", run.plan.label},
      {"interval", run.plan.interval},
      {"subscribers", run.plan.subscribers},
      {"seconds", run.seconds},
      {"pages_sent", run.pagesSent},
      {"states_per_device", run.statesPerDevice},
      {"states_unmatched", run.statesUnmatched},
      {"pages_settled", run.pagesSettled},
      {"pages_dropped_by_service", run.pagesDroppedByService},
      {"pages_without_state", run.pagesWithoutState},
      {"first_pages_without_state", run.firstPagesWithoutState},
      {"latency_ms",
       {{"p50", run.latencyMs.p50},
        {"p99", run.latencyMs.p99},
        {"max", run.latencyMs.max},
        {"samples", run.latencyMs.samples}}},
      {"received_per_subscriber_min",
       received.empty() ? 0 : *std::min_element(received.begin(), received.end())},
      {"received_per_subscriber_max",
       received.empty() ? 0 : *std::max_element(received.begin(), received.end())},
      {"subscribers_closed", run.subscribersClosed},
      {"gateway", CostJson(run.gateway, run.seconds)},
      {"service", CostJson(run.service, run.seconds)},
      {"broker", CostJson(run.broker, run.seconds)},
      {"bench_cpu_seconds", run.benchCpuSeconds},
      {"load_average_before", LoadJson(run.loadBefore)},
      {"load_average_after", LoadJson(run.loadAfter)},
      {"machine_busy_share", run.machineBusy},
      {"cpus", run.cpus},
      {"gateway_exit", run.gatewayExit},
      {"gateway_settings", run.settings},
      {"companion", run.plan.companion},
      {"ports", run.ports},
      {"gateway_log", run.gatewayLog},
  };
  return json;
}

nlohmann::json ReportJson(const std::vector<RunResult>& runs, const std::string& when) {
  nlohmann::json json = {{"when", when}, {"machine", Machine()}, {"runs", nlohmann::json::array()}};
  for (const RunResult& run : runs) {
    json["runs"].push_back(RunJson(run));
  }
  return json;
}

void PrintTable(const std::vector<RunResult>& runs) {
  std::printf("%-9s %4s %5s %6s %6s %5s %5s %7s %7s | %8s %7s %7s | %8s %7s %7s | %7s | %11s %5s\n",
              "label", "int", "subs", "pages", "states", "svc", "gw", "p50 ms", "p99 ms",
              "gw CPU s", "gw KiB", "gw wk/s", "svc CPU", "svc KiB", "svc wk/s", "brk CPU",
              "load 1m", "busy");
  std::printf("%-9s %4s %5s %6s %6s %5s %5s\n", "", "", "", "", "", "drop", "lost");
  for (const RunResult& run : runs) {
    std::uint64_t states = 0;
    for (const auto& [device, count] : run.statesPerDevice) {
      states += count;
    }
    const double seconds = run.seconds > 0 ? run.seconds : 1;
    // Latency and lost pages mean something only where every page is published.
    char lost[16] = "-";
    char p50[16] = "-";
    char p99[16] = "-";
    if (run.plan.interval == 0) {
      std::snprintf(lost, sizeof lost, "%llu",
                    static_cast<unsigned long long>(run.pagesWithoutState));
      std::snprintf(p50, sizeof p50, "%.1f", run.latencyMs.p50);
      std::snprintf(p99, sizeof p99, "%.1f", run.latencyMs.p99);
    }
    std::printf(
        "%-9s %4d %5d %6llu %6llu %5llu %5s %7s %7s | %8.2f %7llu %7.1f | %8.2f %7llu "
        "%7.1f | %7.2f | %5.2f-%5.2f %4.0f%%\n",
        run.plan.label.c_str(), run.plan.interval, run.plan.subscribers,
        static_cast<unsigned long long>(run.pagesSent), static_cast<unsigned long long>(states),
        static_cast<unsigned long long>(run.pagesDroppedByService), lost, p50, p99,
        run.gateway.cpuSeconds, static_cast<unsigned long long>(run.gateway.peakRssKiB),
        static_cast<double>(run.gateway.wakeUps) / seconds, run.service.cpuSeconds,
        static_cast<unsigned long long>(run.service.peakRssKiB),
        static_cast<double>(run.service.wakeUps) / seconds, run.broker.cpuSeconds,
        run.loadBefore.one, run.loadAfter.one, run.machineBusy * 100);
  }
}

}  // namespace brivane::bench
