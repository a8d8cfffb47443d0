#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/mate-sim/mate_pages.h"

namespace brivane::bench {

// Pages of an FX inverter ('0'), an MX charge controller ('A') and a FLEXnet DC monitor
// ('a') in turn, as the simulator makes them, each with one reading replaced by a count
// of its device's pages: no two pages of a run read alike, so a published state names
// the page it came from by its raw text.
class BenchPages {
 public:
  BenchPages();

  // Page number sequence (from 1) as the MATE sends it: LF, 47 characters, CR.
  std::string Make(std::uint64_t sequence);
  // The number of the latest page made whose 47 characters are raw; 0 when none is.
  std::uint64_t SequenceOf(std::string_view raw) const;

  static constexpr int kDevices = 3;

 private:
  std::vector<sim::SimulatedDevice> devices_;
  std::unordered_map<std::string, std::uint64_t> sequences_;
};

}  // namespace brivane::bench
