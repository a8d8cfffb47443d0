#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"

// Files for the targets that read and write Brivane.ini.
namespace brivane::fuzz {

// A folder for the whole run, removed at exit; in memory where the machine offers it,
// so the writer's fsync costs nothing.
inline const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    namespace fs = std::filesystem;
    std::string pattern = "/dev/shm/brivane-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      pattern = (fs::temp_directory_path() / "brivane-fuzz-XXXXXX").string();
      FUZZ_REQUIRE(::mkdtemp(pattern.data()) != nullptr);
    }
    static const fs::path made = pattern;
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(made, ignored);
    });
    return made;
  }();
  return folder;
}

inline void WriteFile(const std::filesystem::path& file, std::string_view content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  FUZZ_REQUIRE(out.good());
}

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace brivane::fuzz
