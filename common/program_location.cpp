#include "common/program_location.h"

#include <system_error>

#include "common/product.h"

namespace brivane {

std::filesystem::path ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

std::filesystem::path SettingsFilePath() {
  return ExecutablePath().parent_path() / kSettingsFileName;
}

std::string ExecutableName() {
  return ExecutablePath().stem().string();
}

}  // namespace brivane
