#include "tools/mate-sim/replay_pages.h"

namespace brivane::sim {

std::vector<std::vector<std::string>> ReplayCycles(std::string_view fileText) {
  std::vector<std::vector<std::string>> cycles;
  std::string addresses;  // of the pages in the last cycle
  while (!fileText.empty()) {
    const std::size_t end = fileText.find('\n');
    std::string_view line = fileText.substr(0, end);
    fileText.remove_prefix(end == std::string_view::npos ? fileText.size() : end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    if (line.empty() || line.front() == '#') {
      continue;
    }
    if (cycles.empty() || addresses.find(line.front()) != std::string::npos) {
      cycles.emplace_back();
      addresses.clear();
    }
    addresses += line.front();
    cycles.back().push_back("\n" + std::string(line) + "\r");
  }
  return cycles;
}

}  // namespace brivane::sim
