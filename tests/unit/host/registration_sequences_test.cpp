#include "service/host/registration_sequences.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brivane {
namespace {

// Records every action in order; the answers of exists, install and uninstall are set.
struct ActionLog {
  bool exists = false;
  bool installs = true;
  bool uninstalls = true;
  std::vector<std::string> steps;

  RegistrationActions Actions() {
    return {
        .serviceExists = [this] { return steps.push_back("exists"), exists; },
        .stopService = [this] { steps.push_back("stop"); },
        .startService = [this] { steps.push_back("start"); },
        .install = [this] { return steps.push_back("install"), installs; },
        .uninstall = [this] { return steps.push_back("uninstall"), uninstalls; },
        .delay =
            [this](std::int16_t seconds) { steps.push_back("delay " + std::to_string(seconds)); },
        .show =
            [this](const CommandMessage& message) {
              steps.push_back("show " + std::string(message.title) + ": " +
                              std::string(message.text));
            },
    };
  }
};

std::string Shown(const CommandMessage& message) {
  return "show " + std::string(message.title) + ": " + std::string(message.text);
}

using Steps = std::vector<std::string>;

TEST(RegistrationSequencesTest, InstallOnACleanSystemShowsThenWaitsThenStarts) {
  ActionLog log;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstall, log.Actions()), kCommandSucceeded);
  EXPECT_EQ(log.steps, (Steps{"exists", "install", Shown(kInstalledMessage), "delay 5", "start"}));

  ActionLog silent;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstallSilent, silent.Actions()),
            kCommandSucceeded);
  EXPECT_EQ(silent.steps, (Steps{"exists", "install", "delay 5", "start"}));
}

TEST(RegistrationSequencesTest, InstallEndsAtTheFirstRefusal) {
  ActionLog installed;
  installed.exists = true;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstall, installed.Actions()), kCommandFailed);
  EXPECT_EQ(installed.steps, (Steps{"exists", Shown(kAlreadyInstalledMessage)}));

  ActionLog refused;
  refused.installs = false;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstall, refused.Actions()), kCommandFailed);
  EXPECT_EQ(refused.steps, (Steps{"exists", "install", Shown(kInstallFailedMessage)}));

  ActionLog silentlyRefused;
  silentlyRefused.installs = false;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstallSilent, silentlyRefused.Actions()),
            kCommandFailed);
  EXPECT_EQ(silentlyRefused.steps, (Steps{"exists", "install"}));

  ActionLog silentlyInstalled;
  silentlyInstalled.exists = true;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kInstallSilent, silentlyInstalled.Actions()),
            kCommandFailed);
  EXPECT_EQ(silentlyInstalled.steps, (Steps{"exists"}));
}

TEST(RegistrationSequencesTest, UninstallAndRemoveStopWaitThenRemove) {
  for (auto word : {CommandWord::kUninstall, CommandWord::kRemove}) {
    ActionLog log;
    log.exists = true;
    EXPECT_EQ(RunRegistrationSequence(word, log.Actions()), kCommandSucceeded);
    EXPECT_EQ(log.steps, (Steps{"exists", "stop", "delay 2", "uninstall", Shown(kRemovedMessage)}));

    ActionLog refused;
    refused.exists = true;
    refused.uninstalls = false;
    EXPECT_EQ(RunRegistrationSequence(word, refused.Actions()), kCommandFailed);
    EXPECT_EQ(refused.steps,
              (Steps{"exists", "stop", "delay 2", "uninstall", Shown(kUninstallFailedMessage)}));

    ActionLog missing;
    EXPECT_EQ(RunRegistrationSequence(word, missing.Actions()), kCommandFailed);
    EXPECT_EQ(missing.steps, (Steps{"exists", Shown(kNotInstalledMessage)}));
  }
}

TEST(RegistrationSequencesTest, UninstallSilentShowsNothing) {
  ActionLog log;
  log.exists = true;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kUninstallSilent, log.Actions()),
            kCommandSucceeded);
  EXPECT_EQ(log.steps, (Steps{"exists", "stop", "delay 2", "uninstall"}));

  ActionLog refused;
  refused.exists = true;
  refused.uninstalls = false;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kUninstallSilent, refused.Actions()),
            kCommandFailed);
  EXPECT_EQ(refused.steps, (Steps{"exists", "stop", "delay 2", "uninstall"}));

  // Not installed: nothing else is tried.
  ActionLog missing;
  EXPECT_EQ(RunRegistrationSequence(CommandWord::kUninstallSilent, missing.Actions()),
            kCommandFailed);
  EXPECT_EQ(missing.steps, (Steps{"exists"}));
}

}  // namespace
}  // namespace brivane
