// The settings file reader and writer with any file content.
//
// Input: one selector byte (bits 0-2 the section, bits 3-5 the key of the lists
// below), the value to write up to the first NUL byte, then the file's content.
//
// Checked: a write keeps every other line byte for byte (only the key's line changes,
// or one key line, a section header and a line end are added); a read after a write
// gives the written value; both programs' settings read within their ranges and a
// save followed by a load gives what was saved, and saving it again writes nothing.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/profile_file.h"
#include "common/settings.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

namespace fs = std::filesystem;
using brivane::fuzz::Folder;
using brivane::fuzz::ReadFile;
using brivane::fuzz::WriteFile;

constexpr std::string_view kSections[] = {"BrivaneSvc", "brivanesvc", "SerialDevices", "Other",
                                          "BRIVANESVC", "a",          "Brivane Svc",   "x.y"};
constexpr std::string_view kKeys[] = {"COMPort", "udpbport", "TCPPort", "IPAddress",
                                      "COM1",    "Key 2",    "k",       "TCPPORT"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

// The file's lines as they stand, each with its line feed (the last one may have none).
std::vector<std::string> RawLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    const auto end = newline == std::string::npos ? content.size() : newline + 1;
    lines.push_back(content.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (line.ends_with('\n')) {
    line.remove_suffix(1);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
  }
  return line;
}

// "key=value" for this key, spelled in any case, with the value as written.
bool IsKeyLine(std::string_view line, std::string_view key, std::string_view value) {
  const std::string_view text = WithoutLineEnd(line);
  const auto equals = text.find('=');
  return equals != std::string_view::npos && SameName(Trim(text.substr(0, equals)), key) &&
         Trim(text.substr(0, equals)) == text.substr(0, equals) && text.substr(equals + 1) == value;
}

bool IsFormerKeyLine(std::string_view line, std::string_view key) {
  const std::string_view text = WithoutLineEnd(line);
  const auto equals = text.find('=');
  return equals != std::string_view::npos && SameName(Trim(text.substr(0, equals)), key);
}

void CheckOnlyTheKeyChanged(const std::string& before, const std::string& after,
                            std::string_view section, std::string_view key,
                            std::string_view value) {
  const auto old = RawLines(before);
  const auto now = RawLines(after);
  std::size_t prefix = 0;
  while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
         old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::vector<std::string> oldMiddle(old.begin() + prefix, old.end() - suffix);
  const std::vector<std::string> newMiddle(now.begin() + prefix, now.end() - suffix);
  if (oldMiddle.empty() && newMiddle.empty()) {
    return;  // the key already held this value
  }
  FUZZ_REQUIRE(oldMiddle.size() <= 1);
  FUZZ_REQUIRE(newMiddle.size() <= 3);
  const std::string header = "[" + std::string(section) + "]";
  int keyLines = 0;
  bool changedLineKept = oldMiddle.empty();
  const bool lastLineOpen = oldMiddle.size() == 1 && !oldMiddle[0].ends_with('\n');
  for (std::size_t i = 0; i < newMiddle.size(); ++i) {
    const std::string& line = newMiddle[i];
    if (i == 0 && lastLineOpen && newMiddle.size() > 1 &&
        (line == oldMiddle[0] + "\n" || line == oldMiddle[0] + "\r\n")) {
      // The old last line, which had no line end, gets one before what is added (it may
      // look like the key's line: it is outside the section).
      changedLineKept = true;
    } else if (IsKeyLine(line, key, value)) {
      ++keyLines;
      if (!oldMiddle.empty() && IsFormerKeyLine(oldMiddle[0], key)) {
        changedLineKept = true;  // the key's own line, changed in place
      }
    } else if (WithoutLineEnd(line) == header) {
      FUZZ_REQUIRE(line.ends_with('\n'));
      if (oldMiddle.size() == 1 && oldMiddle[0] == WithoutLineEnd(line)) {
        changedLineKept = true;  // the section's header was the last line, now with its end
      }
    } else {
      // The old last line, which had no line end, gets one before what is added.
      FUZZ_REQUIRE(oldMiddle.size() == 1 && !oldMiddle[0].ends_with('\n'));
      FUZZ_REQUIRE(line == oldMiddle[0] + "\n" || line == oldMiddle[0] + "\r\n");
      changedLineKept = true;
    }
  }
  FUZZ_REQUIRE(keyLines == 1);
  FUZZ_REQUIRE(changedLineKept);
}

void CheckSettings(const fs::path& file) {
  auto profile = brivane::ProfileFile::Load(file);
  const auto settings = brivane::LoadSettings(profile.Document(), "BrivaneSvc");
  FUZZ_REQUIRE(settings.COMPort >= 0 && settings.COMPort <= 255);
  FUZZ_REQUIRE(settings.UDPBPort >= 1 && settings.UDPBPort <= 65535);
  FUZZ_REQUIRE(settings.TCPPort >= 1 && settings.TCPPort <= 65535);
  const auto console = brivane::LoadConsoleSettings(profile.Document());
  FUZZ_REQUIRE(console.ConfiguredUdpPort >= 1 && console.ConfiguredUdpPort <= 65534);
  FUZZ_REQUIRE(console.ConfiguredIPAddress == settings.IPAddress);

  brivane::SaveSettings(profile.Document(), "BrivaneSvc", settings);
  FUZZ_REQUIRE(profile.Save());
  auto reread = brivane::ProfileFile::Load(file);
  FUZZ_REQUIRE(reread.Document().Text() == profile.Document().Text());
  const auto again = brivane::LoadSettings(reread.Document(), "BrivaneSvc");
  FUZZ_REQUIRE(again.COMPort == settings.COMPort);
  FUZZ_REQUIRE(again.UDPBPort == settings.UDPBPort);
  FUZZ_REQUIRE(again.TCPPort == settings.TCPPort);
  FUZZ_REQUIRE(again.IPAddress == settings.IPAddress);
  // Saving what was just saved changes nothing, and does not even replace the file.
  struct stat before {};
  FUZZ_REQUIRE(::stat(file.c_str(), &before) == 0);
  const std::string saved = ReadFile(file);
  brivane::SaveSettings(reread.Document(), "BrivaneSvc", again);
  FUZZ_REQUIRE(reread.Document().Text() == saved);
  FUZZ_REQUIRE(reread.Save());
  struct stat after {};
  FUZZ_REQUIRE(::stat(file.c_str(), &after) == 0);
  FUZZ_REQUIRE(after.st_ino == before.st_ino);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  const std::string_view section = kSections[data[0] & 7];
  const std::string_view key = kKeys[(data[0] >> 3) & 7];
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto nul = rest.find('\0');
  std::string value(rest.substr(0, nul));
  // One value is one line.
  std::erase(value, '\r');
  std::erase(value, '\n');
  const std::string_view content =
      nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

  const fs::path file = Folder() / "Brivane.ini";
  WriteFile(file, content);

  const std::string read = brivane::GetProfileString(file, section, key, "default");
  FUZZ_REQUIRE(read.size() <= brivane::kProfileValueLimit);
  FUZZ_REQUIRE(Trim(read) == read || read.size() == brivane::kProfileValueLimit);

  FUZZ_REQUIRE(brivane::WriteProfileString(file, section, key, value));
  const std::string written = ReadFile(file);
  CheckOnlyTheKeyChanged(std::string(content), written, section, key, value);

  std::string expected(Trim(value));
  if (expected.size() > brivane::kProfileValueLimit) {
    expected.resize(brivane::kProfileValueLimit);
  }
  FUZZ_REQUIRE(brivane::GetProfileString(file, section, key, "default") == expected);

  // Both programs' settings, from the file as it came.
  WriteFile(file, content);
  CheckSettings(file);
  return 0;
}
