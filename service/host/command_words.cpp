#include "service/host/command_words.h"

#include <array>
#include <utility>

#include "common/product.h"
#include "common/service_control.h"
#include "service/host/delay.h"
#include "service/host/installer.h"

namespace brivane {

std::optional<CommandWord> ParseCommandWord(std::string_view commandLine) {
  static constexpr std::array<std::pair<std::string_view, CommandWord>, 5> kWords{{
      {"uninstall", CommandWord::kUninstall},
      {"remove", CommandWord::kRemove},
      {"uninstall silent", CommandWord::kUninstallSilent},
      {"install", CommandWord::kInstall},
      {"install silent", CommandWord::kInstallSilent},
  }};
  for (const auto& [text, word] : kWords) {
    if (commandLine == text) {
      return word;
    }
  }
  return std::nullopt;
}

std::optional<int> RunCommandWord(const std::string& commandLine) {
  const auto word = ParseCommandWord(commandLine);
  if (!word) {
    return std::nullopt;
  }
  const RegistrationActions actions{
      .serviceExists = [] { return WindowsServiceExists(kServiceName); },
      .stopService = [] { StopWindowsService(kServiceName); },
      .startService = [] { StartWindowsService(kServiceName); },
      .install = [] { return InstallService(); },
      .uninstall = [] { return UninstallService(); },
      .delay = [](std::int16_t seconds) { Delay(seconds); },
      .show = [](const CommandMessage& message) { PrintMessage(stdout, message); },
  };
  return RunRegistrationSequence(*word, actions);
}

}  // namespace brivane
