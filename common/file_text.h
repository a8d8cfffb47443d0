#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whole small files read and written with plain system calls: the service keeps the C++
// stream library, and the locale machinery it brings, out of its memory.
namespace brivane {

// The file's bytes exactly; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Writes every byte to an open descriptor, through short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

// Creates or truncates the file, writes text and gives it mode whatever the umask.
bool WriteWholeFile(const std::filesystem::path& file, const std::string& text, mode_t mode);

}  // namespace brivane
