#include "service/host/registration_sequences.h"

namespace brivane {
namespace {

// Lets the stopped service's process end before its entry goes.
constexpr std::int16_t kStopWaitSeconds = 2;
// Gives systemd time to settle after enabling the unit before it is started.
constexpr std::int16_t kStartWaitSeconds = 5;

int Uninstall(bool silent, const RegistrationActions& actions) {
  auto show = [&](const CommandMessage& message) {
    if (!silent) {
      actions.show(message);
    }
  };
  if (!actions.serviceExists()) {
    show(kNotInstalledMessage);
    return kCommandFailed;
  }
  actions.stopService();
  actions.delay(kStopWaitSeconds);
  if (!actions.uninstall()) {
    show(kUninstallFailedMessage);
    return kCommandFailed;
  }
  show(kRemovedMessage);
  return kCommandSucceeded;
}

int Install(bool silent, const RegistrationActions& actions) {
  auto show = [&](const CommandMessage& message) {
    if (!silent) {
      actions.show(message);
    }
  };
  if (actions.serviceExists()) {
    show(kAlreadyInstalledMessage);
    return kCommandFailed;
  }
  if (!actions.install()) {
    show(kInstallFailedMessage);
    return kCommandFailed;
  }
  show(kInstalledMessage);
  actions.delay(kStartWaitSeconds);
  actions.startService();
  return kCommandSucceeded;
}

}  // namespace

int RunRegistrationSequence(CommandWord word, const RegistrationActions& actions) {
  switch (word) {
    case CommandWord::kUninstall:
    case CommandWord::kRemove:
      return Uninstall(false, actions);
    case CommandWord::kUninstallSilent:
      return Uninstall(true, actions);
    case CommandWord::kInstall:
      return Install(false, actions);
    case CommandWord::kInstallSilent:
      return Install(true, actions);
  }
  return kCommandFailed;
}

}  // namespace brivane
