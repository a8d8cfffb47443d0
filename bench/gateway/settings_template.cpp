#include "bench/gateway/settings_template.h"

namespace brivane::bench {

RunSettings ExpandSettings(std::string_view text, const std::string& folder,
                           const std::function<int()>& freePort) {
  static constexpr std::string_view kFolder = "@FOLDER@";
  static constexpr std::string_view kPort = "@PORT:";
  RunSettings settings;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text.substr(at, kFolder.size()) == kFolder) {
      settings.text += folder;
      at += kFolder.size();
      continue;
    }
    if (text.substr(at, kPort.size()) == kPort) {
      const std::size_t end = text.find('@', at + kPort.size());
      if (end != std::string_view::npos && end > at + kPort.size()) {
        const std::string name(text.substr(at + kPort.size(), end - at - kPort.size()));
        auto [entry, added] = settings.ports.try_emplace(name, 0);
        if (added) {
          entry->second = freePort();
        }
        settings.text += std::to_string(entry->second);
        at = end + 1;
        continue;
      }
    }
    settings.text += text[at++];
  }
  return settings;
}

}  // namespace brivane::bench
