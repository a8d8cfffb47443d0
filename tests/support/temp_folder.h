#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brivane::testkit {

// A fresh folder, removed with everything in it when the object goes. Its name starts
// with prefix and it lies in parent (the system's temporary folder when empty).
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "brivane-test",
                      const std::filesystem::path& parent = {});
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Replaces file's content; true when all of it was written.
bool WriteFile(const std::filesystem::path& file, std::string_view content);
std::string ReadFile(const std::filesystem::path& file);

}  // namespace brivane::testkit
