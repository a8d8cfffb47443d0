#include "bench/gateway/bench_pages.h"

#include <cstdio>

#include "bench/common/line_pacer.h"

namespace brivane::bench {

namespace {

// Characters of a page on the line: LF, 47, CR.
constexpr double kPageCharacters = 49;

// The three-digit field that carries the count: FX AC input voltage, MX PV voltage,
// FLEXnet DC battery voltage in tenths.
constexpr std::size_t kCountField[BenchPages::kDevices] = {3, 3, 5};

}  // namespace

BenchPages::BenchPages()
    : devices_{sim::SimulatedDevice('0'), sim::SimulatedDevice('A'), sim::SimulatedDevice('a')} {}

std::string BenchPages::Make(std::uint64_t sequence) {
  const std::size_t which = sequence % kDevices;
  const double seconds = static_cast<double>(sequence) * kPageCharacters / kLineCharactersPerSecond;
  std::vector<std::string> fields = devices_[which].Fields(seconds);
  char count[8];
  std::snprintf(count, sizeof count, "%03u", static_cast<unsigned>((sequence / kDevices) % 1000));
  fields[kCountField[which]] = count;
  std::string page = sim::MakePage(devices_[which].Address(), fields, std::nullopt);
  sequences_[page.substr(1, page.size() - 2)] = sequence;
  return page;
}

std::uint64_t BenchPages::SequenceOf(std::string_view raw) const {
  const auto found = sequences_.find(std::string(raw));
  return found == sequences_.end() ? 0 : found->second;
}

}  // namespace brivane::bench
