#pragma once

#include <filesystem>
#include <string>

// Where the running program lies: its settings file lies beside it.
namespace brivane {

// The running executable (/proc/self/exe), absolute.
std::filesystem::path ExecutablePath();

// Brivane.ini in the executable's folder.
std::filesystem::path SettingsFilePath();

// The executable's file name without folder and extension ("BrivaneSvc").
std::string ExecutableName();

}  // namespace brivane
