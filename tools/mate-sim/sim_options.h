#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The simulator's command line.
namespace brivane::sim {

struct SimOptions {
  std::vector<char> devices{'0'};  // device addresses, one page each per cycle
  std::string linkPath;            // symlink made to the pseudo-terminal
  std::string devicePath;          // write to this existing device instead
  std::string replayPath;          // send this file's pages instead of simulated ones
  double rate = 1.0;               // pages per second per device
  std::uint64_t count = 0;         // stop after this many pages; 0 = run until stopped
  long baud = 19200;               // pacing; 0 = as fast as possible
  double pauseAfter = -1;          // seconds of sending before the pause; <0 = none
  double pauseFor = 0;             // length of the pause in seconds
  int malformedEvery = 0;          // about one page in N is followed by malformed text
  std::uint32_t seed = 1;
  bool sequence = false;  // pages carry an increasing sequence number
  double linger = 3.0;    // after --count: seconds to wait for the reader
  bool help = false;
};

// The options, or an error text.
struct ParseResult {
  std::optional<SimOptions> options;
  std::string error;
};
ParseResult ParseOptions(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace brivane::sim
