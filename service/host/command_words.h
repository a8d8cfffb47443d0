#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "service/host/registration_sequences.h"

namespace brivane {

// The command word that commandLine is, matched exactly and with case against the whole
// text ("install", "install silent", "uninstall", "remove", "uninstall silent"; the
// uninstall words first). Nothing for any other text.
std::optional<CommandWord> ParseCommandWord(std::string_view commandLine);

// Runs the command word that commandLine is, printing its messages to standard output,
// and gives the process exit status (see RunRegistrationSequence). Nothing when
// commandLine is no command word.
std::optional<int> RunCommandWord(const std::string& commandLine);

}  // namespace brivane
