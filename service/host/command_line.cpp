#include "service/host/command_line.h"

namespace brivane {

CommandLine ParseCommandLine(const std::vector<std::string>& words) {
  CommandLine line;
  bool first = true;
  for (const std::string& word : words) {
    if (word == kForegroundWord) {
      line.foreground = true;
      continue;
    }
    if (!first) {
      line.text += ' ';
    }
    line.text += word;
    first = false;
  }
  return line;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    words.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  return ParseCommandLine(words);
}

}  // namespace brivane
