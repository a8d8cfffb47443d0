#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

// Whole small files read and written with plain system calls: the service keeps the C++
// stream library, and the locale machinery it brings, out of its memory.
namespace brivane {

// The file's bytes exactly; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Creates or truncates the file, writes text and gives it mode whatever the umask.
bool WriteWholeFile(const std::filesystem::path& file, const std::string& text, mode_t mode);

}  // namespace brivane
