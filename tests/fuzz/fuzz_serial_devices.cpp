// [SerialDevices] of the settings file with any content, and the kernel's list of
// active consoles with any text: which device each port number names, and whether
// a device is the machine's console.
//
// Input: the active-console text up to the first NUL byte, then the file's content.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/profile_file.h"
#include "service/serial/serial_devices.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto nul = input.find('\0');
  const std::string_view activeConsoles = input.substr(0, nul);
  const std::string_view content =
      nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

  const auto file = brivane::fuzz::Folder() / "Brivane.ini";
  brivane::fuzz::WriteFile(file, content);
  const auto devices = brivane::LoadSerialDevices(brivane::ProfileFile::Load(file).Document());
  auto always = [](const std::string&) { return true; };
  auto never = [](const std::string&) { return false; };
  for (const auto& [port, path] : devices) {
    FUZZ_REQUIRE(port >= brivane::kLowestPortNumber && port <= brivane::kHighestPortNumber);
    FUZZ_REQUIRE(!path.empty() && path.size() <= brivane::kProfileValueLimit);
    FUZZ_REQUIRE(path.front() != ' ' && path.back() != ' ');
    FUZZ_REQUIRE(path.find('\0') == std::string::npos);
    FUZZ_REQUIRE(brivane::DevicePathFor(port, devices, never) == path);
  }
  for (int port = brivane::kLowestPortNumber; port <= brivane::kHighestPortNumber; ++port) {
    if (!devices.contains(port)) {
      const auto index = std::to_string(port - 1);
      FUZZ_REQUIRE(brivane::DevicePathFor(port, devices, always) == "/dev/ttyUSB" + index);
      FUZZ_REQUIRE(brivane::DevicePathFor(port, devices, never) == "/dev/ttyS" + index);
    }
  }

  // A device that does not exist is known by its file name alone: it is a console
  // exactly when the list names it as a whole word.
  if (activeConsoles.find_first_of("\t\n\v\f\r") == std::string_view::npos) {
    const std::string padded = " " + std::string(activeConsoles) + " ";
    const bool named = padded.find(" ttyBrivaneFuzz0 ") != std::string::npos;
    FUZZ_REQUIRE(brivane::IsActiveConsole("/dev/ttyBrivaneFuzz0", activeConsoles) == named);
  }
  return 0;
}
