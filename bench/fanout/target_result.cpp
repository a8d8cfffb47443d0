#include "bench/fanout/target_result.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace brivane::bench {

namespace {

std::uint64_t MinOf(const std::vector<std::uint64_t>& values) {
  return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}
std::uint64_t MaxOf(const std::vector<std::uint64_t>& values) {
  return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::string Ratio(double mine, double theirs) {
  if (theirs <= 0) {
    return "-";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", mine / theirs);
  return text;
}

void Row(const char* label, const std::string& first, const std::string& second,
         const std::string& ratio) {
  std::printf("%-34s %16s %16s %10s\n", label, first.c_str(), second.c_str(), ratio.c_str());
}

std::string Number(double value, const char* format = "%.3f") {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}
std::string Count(std::uint64_t value) {
  return std::to_string(value);
}

void JsonSpread(std::ostringstream& out, const char* name, const Spread& spread) {
  out << "\"" << name << "\": {\"p50\": " << spread.p50 << ", \"p99\": " << spread.p99
      << ", \"max\": " << spread.max << ", \"samples\": " << spread.samples << "}";
}

}  // namespace

double TargetResult::CpuSeconds() const {
  return CostBetween(before, after).cpuSeconds;
}

double TargetResult::RunSeconds() const {
  return CostBetween(before, after).runSeconds;
}

std::uint64_t TargetResult::WakeUps() const {
  return CostBetween(before, after).wakeUps;
}

void PrintTable(const TargetResult& a, const TargetResult& b) {
  std::printf("fan-out: %d clients, %.0f s of records at 19200 baud%s\n\n", a.clients, a.seconds,
              a.pinned ? ", bridge and clients on CPUs of their own" : "");
  Row("", a.name, b.name, a.name + "/" + b.name);
  Row("records sent", Count(a.recordsSent), Count(b.recordsSent), "");
  Row("received per client (min)", Count(MinOf(a.receivedPerClient)),
      Count(MinOf(b.receivedPerClient)), "");
  Row("received per client (max)", Count(MaxOf(a.receivedPerClient)),
      Count(MaxOf(b.receivedPerClient)), "");
  Row("lost records (all clients)", Count(a.lost), Count(b.lost), "");
  Row("out-of-order records", Count(a.outOfOrder), Count(b.outOfOrder), "");
  Row("duplicate records", Count(a.duplicates), Count(b.duplicates), "");
  Row("clients closed by the bridge", Count(a.clientsClosed), Count(b.clientsClosed), "");
  Row("fan-out spread p50 (ms)", Number(a.fanOutMs.p50), Number(b.fanOutMs.p50),
      Ratio(a.fanOutMs.p50, b.fanOutMs.p50));
  Row("fan-out spread p99 (ms)", Number(a.fanOutMs.p99), Number(b.fanOutMs.p99),
      Ratio(a.fanOutMs.p99, b.fanOutMs.p99));
  Row("fan-out spread max (ms)", Number(a.fanOutMs.max), Number(b.fanOutMs.max),
      Ratio(a.fanOutMs.max, b.fanOutMs.max));
  Row("latency p50 (ms)", Number(a.latencyMs.p50), Number(b.latencyMs.p50),
      Ratio(a.latencyMs.p50, b.latencyMs.p50));
  Row("latency p99 (ms)", Number(a.latencyMs.p99), Number(b.latencyMs.p99),
      Ratio(a.latencyMs.p99, b.latencyMs.p99));
  Row("latency max (ms)", Number(a.latencyMs.max), Number(b.latencyMs.max),
      Ratio(a.latencyMs.max, b.latencyMs.max));
  Row("CPU seconds (user+sys, stat)", Number(a.CpuSeconds(), "%.2f"),
      Number(b.CpuSeconds(), "%.2f"), Ratio(a.CpuSeconds(), b.CpuSeconds()));
  Row("CPU seconds (schedstat)", Number(a.RunSeconds(), "%.4f"), Number(b.RunSeconds(), "%.4f"),
      Ratio(a.RunSeconds(), b.RunSeconds()));
  Row("peak RSS (KiB, VmHWM)", Count(a.after.peakRssKiB), Count(b.after.peakRssKiB),
      Ratio(static_cast<double>(a.after.peakRssKiB), static_cast<double>(b.after.peakRssKiB)));
  Row("wake-ups (context switches)", Count(a.WakeUps()), Count(b.WakeUps()),
      Ratio(static_cast<double>(a.WakeUps()), static_cast<double>(b.WakeUps())));
  Row("wake-ups per second", Number(static_cast<double>(a.WakeUps()) / a.seconds, "%.1f"),
      Number(static_cast<double>(b.WakeUps()) / b.seconds, "%.1f"), "");
  Row("threads", Count(static_cast<std::uint64_t>(a.after.threads)),
      Count(static_cast<std::uint64_t>(b.after.threads)), "");
}

std::string Json(const std::vector<TargetResult>& results, const std::string& when) {
  std::ostringstream out;
  out << "{\n  \"when\": \"" << when << "\",\n  \"targets\": [\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const TargetResult& r = results[i];
    out << "    {\"name\": \"" << r.name << "\", \"clients\": " << r.clients
        << ", \"seconds\": " << r.seconds << ", \"pinned\": " << (r.pinned ? "true" : "false")
        << ", \"records_sent\": " << r.recordsSent << ", \"received_per_client\": [";
    for (std::size_t c = 0; c < r.receivedPerClient.size(); ++c) {
      out << (c ? ", " : "") << r.receivedPerClient[c];
    }
    out << "], \"lost\": " << r.lost << ", \"out_of_order\": " << r.outOfOrder
        << ", \"duplicates\": " << r.duplicates << ", \"clients_closed\": " << r.clientsClosed
        << ", ";
    JsonSpread(out, "fan_out_spread_ms", r.fanOutMs);
    out << ", ";
    JsonSpread(out, "latency_ms", r.latencyMs);
    out << ", \"cpu_seconds\": " << r.CpuSeconds()
        << ", \"cpu_user_seconds\": " << r.after.userSeconds - r.before.userSeconds
        << ", \"cpu_sys_seconds\": " << r.after.systemSeconds - r.before.systemSeconds
        << ", \"cpu_seconds_schedstat\": " << r.RunSeconds()
        << ", \"peak_rss_kib\": " << r.after.peakRssKiB << ", \"wake_ups\": " << r.WakeUps()
        << ", \"voluntary_switches\": " << r.after.voluntarySwitches - r.before.voluntarySwitches
        << ", \"involuntary_switches\": "
        << r.after.involuntarySwitches - r.before.involuntarySwitches
        << ", \"threads\": " << r.after.threads << "}" << (i + 1 < results.size() ? "," : "")
        << "\n";
  }
  out << "  ]";
  if (results.size() == 2) {
    const TargetResult& a = results[0];
    const TargetResult& b = results[1];
    auto ratio = [](double x, double y) { return y > 0 ? x / y : 0.0; };
    out << ",\n  \"ratios\": {\"cpu_seconds\": " << ratio(a.CpuSeconds(), b.CpuSeconds())
        << ", \"cpu_seconds_schedstat\": " << ratio(a.RunSeconds(), b.RunSeconds())
        << ", \"peak_rss\": "
        << ratio(static_cast<double>(a.after.peakRssKiB), static_cast<double>(b.after.peakRssKiB))
        << ", \"wake_ups\": "
        << ratio(static_cast<double>(a.WakeUps()), static_cast<double>(b.WakeUps()))
        << ", \"fan_out_spread_p99\": " << ratio(a.fanOutMs.p99, b.fanOutMs.p99) << "}";
  }
  out << "\n}\n";
  return out.str();
}

}  // namespace brivane::bench
