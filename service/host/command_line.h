#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brivane {

// Runs the service as if systemd had started it, echoing event entries to stderr.
inline constexpr std::string_view kForegroundWord = "--foreground";

// What the program was started with. The command text is every argument word after the
// program name joined by single blanks; the word --foreground is taken out wherever it
// stands as a whole argument, so "--foreground install" is the command word "install".
struct CommandLine {
  std::string text;
  bool foreground = false;
};

CommandLine ParseCommandLine(const std::vector<std::string>& words);
CommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace brivane
