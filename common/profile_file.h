#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The INI file rules that Brivane.ini has always been read and written by:
// section and key names match without regard to case, values are trimmed of
// surrounding blanks, and a write changes one line and keeps every other byte.
namespace brivane {

// The longest value the reader hands back; longer values are cut.
inline constexpr std::size_t kProfileValueLimit = 254;

// The value of key in section, trimmed, at most kProfileValueLimit characters.
// defaultText when the file, the section or the key is missing; an empty text when
// the key is there with an empty value.
std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultText);

// Sets key in section to value. The key's line is replaced in place; a missing key
// is added at the end of its section, a missing section at the end of the file, a
// missing file is created. Every other line stays byte for byte, line ends included.
// The file is replaced atomically and keeps its permissions. Returns false, leaving
// everything as it was, when the file or its folder cannot be written.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value);

}  // namespace brivane
