#pragma once

#include <optional>
#include <string>

namespace brivane {

// Runs the command word that commandLine is ("install", "install silent", "uninstall",
// "remove", "uninstall silent"; the whole text, exactly) and gives the process exit status:
// 0 on success, 1 on failure. Nothing when commandLine is no command word.
std::optional<int> RunCommandWord(const std::string& commandLine);

}  // namespace brivane
