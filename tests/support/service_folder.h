#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace brivane::testkit {

// build/bin, where the programs under test lie (BRIVANE_BIN_DIR, set by ctest).
std::filesystem::path BinDir();

// The BrivaneSvc under test: BRIVANE_SERVICE_PROGRAM when set (a service built for
// another architecture), else BinDir()'s.
std::filesystem::path ServiceProgram();

// What runs that program, its path and arguments following: BRIVANE_SERVICE_EMULATOR
// split at blanks (qemu user-mode emulation of a cross-built service); empty to run it
// as it is.
std::vector<std::string> ServiceEmulator();

// A temporary installation folder: its own copy of ServiceProgram() and its own
// Brivane.ini, so that services of parallel tests share neither their lock nor their
// settings.
// Removed with everything in it when the object goes.
class ServiceFolder {
 public:
  // iniText empty: no Brivane.ini at all.
  explicit ServiceFolder(std::string_view iniText = "",
                         std::string_view programName = "BrivaneSvc");
  ServiceFolder(const ServiceFolder&) = delete;
  ServiceFolder& operator=(const ServiceFolder&) = delete;

  const std::filesystem::path& Path() const { return folder_.Path(); }
  std::filesystem::path Program() const { return folder_ / programName_; }
  std::filesystem::path IniFile() const { return folder_ / "Brivane.ini"; }

  void WriteIni(std::string_view text) const;
  std::string ReadIni() const;

  // Starts the folder's program with args, through ServiceEmulator(). NOTIFY_SOCKET is
  // removed from the inherited environment unless environment sets it, so no test is taken
  // for systemd by accident.
  std::unique_ptr<ChildProcess> Start(
      const std::vector<std::string>& args,
      std::map<std::string, std::optional<std::string>> environment = {}) const;

 private:
  TempFolder folder_{"brivane-svc"};
  std::string programName_;
};

// The event-log lines among a service's standard-error lines ("error 109: ...",
// "warning 109: ...").
std::vector<std::string> EventLines(const std::vector<std::string>& stderrLines);

// "error 109: " followed by text.
std::string ErrorEntry(std::string_view text);

}  // namespace brivane::testkit
