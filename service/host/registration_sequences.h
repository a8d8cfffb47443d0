#pragma once

#include <cstdint>
#include <functional>

#include "service/host/command_messages.h"

// The install and uninstall sequences of the command words, over the actions they take,
// so that their order, waits and messages can be followed without systemd.
namespace brivane {

enum class CommandWord { kInstall, kInstallSilent, kUninstall, kRemove, kUninstallSilent };

struct RegistrationActions {
  std::function<bool()> serviceExists;
  std::function<void()> stopService;
  std::function<void()> startService;
  std::function<bool()> install;
  std::function<bool()> uninstall;
  std::function<void(std::int16_t seconds)> delay;
  std::function<void(const CommandMessage&)> show;
};

inline constexpr int kCommandSucceeded = 0;
inline constexpr int kCommandFailed = 1;

// Runs the sequence of word and gives the exit status: kCommandSucceeded when the
// service was installed or removed, kCommandFailed for every other outcome (not
// installed, already installed, install or uninstall refused), silent or not.
int RunRegistrationSequence(CommandWord word, const RegistrationActions& actions);

}  // namespace brivane
