#include "tests/support/service_folder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace brivane::testkit {

std::filesystem::path BinDir() {
  const char* dir = std::getenv("BRIVANE_BIN_DIR");
  if (dir == nullptr || *dir == '\0') {
    throw std::runtime_error("BRIVANE_BIN_DIR is not set (run the tests through ctest)");
  }
  return dir;
}

std::filesystem::path ServiceProgram() {
  const char* program = std::getenv("BRIVANE_SERVICE_PROGRAM");
  if (program != nullptr && *program != '\0') {
    return program;
  }
  return BinDir() / "BrivaneSvc";
}

std::vector<std::string> ServiceEmulator() {
  std::vector<std::string> words;
  const char* command = std::getenv("BRIVANE_SERVICE_EMULATOR");
  if (command != nullptr) {
    std::istringstream text(command);
    for (std::string word; text >> word;) {
      words.push_back(word);
    }
  }
  return words;
}

ServiceFolder::ServiceFolder(std::string_view iniText, std::string_view programName)
    : programName_(programName) {
  std::filesystem::copy_file(ServiceProgram(), Program());
  if (!iniText.empty()) {
    WriteIni(iniText);
  }
}

void ServiceFolder::WriteIni(std::string_view text) const {
  std::ofstream file(IniFile(), std::ios::binary | std::ios::trunc);
  file << text;
}

std::string ServiceFolder::ReadIni() const {
  std::ifstream file(IniFile(), std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::unique_ptr<ChildProcess> ServiceFolder::Start(
    const std::vector<std::string>& args,
    std::map<std::string, std::optional<std::string>> environment) const {
  environment.try_emplace("NOTIFY_SOCKET", std::nullopt);
  SpawnOptions options;
  options.args = args;
  options.environment = std::move(environment);
  options.workingDirectory = folder_.Path();
  std::vector<std::string> emulator = ServiceEmulator();
  if (emulator.empty()) {
    return std::make_unique<ChildProcess>(Program(), options);
  }
  options.args.insert(options.args.begin(), Program().string());
  options.args.insert(options.args.begin(), emulator.begin() + 1, emulator.end());
  return std::make_unique<ChildProcess>(emulator.front(), options);
}

std::vector<std::string> EventLines(const std::vector<std::string>& stderrLines) {
  std::vector<std::string> lines;
  for (const std::string& line : stderrLines) {
    if (line.rfind("error 109: ", 0) == 0 || line.rfind("warning 109: ", 0) == 0) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::string ErrorEntry(std::string_view text) {
  return "error 109: " + std::string(text);
}

}  // namespace brivane::testkit
