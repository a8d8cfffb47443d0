#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <string_view>

#include "tests/fuzz/fuzz_check.h"
#include "tests/support/temp_folder.h"

// Files for the targets that read and write Brivane.ini.
namespace brivane::fuzz {

// A folder for the whole run, removed at exit; in memory where the machine offers it,
// so the writer's fsync costs nothing.
inline const std::filesystem::path& Folder() {
  static const auto folder = []() -> std::unique_ptr<testkit::TempFolder> {
    try {
      return std::make_unique<testkit::TempFolder>("brivane-fuzz", "/dev/shm");
    } catch (const std::exception&) {
      return std::make_unique<testkit::TempFolder>("brivane-fuzz");
    }
  }();
  return folder->Path();
}

inline void WriteFile(const std::filesystem::path& file, std::string_view content) {
  FUZZ_REQUIRE(testkit::WriteFile(file, content));
}

using testkit::ReadFile;

}  // namespace brivane::fuzz
