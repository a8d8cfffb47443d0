#include "common/profile_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "common/file_text.h"
#include "common/unique_fd.h"

namespace brivane {
namespace {

// Six characters for a temporary file's name that no other writer is likely to pick.
std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6] = {};
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // Without entropy, the clock still makes a clash unlikely; O_EXCL makes it harmless.
    auto seed = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ ::getpid());
    for (auto& byte : bytes) {
      byte = static_cast<unsigned char>(seed);
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    }
  }
  std::string suffix;
  for (const auto byte : bytes) {
    suffix += kLetters[byte % (sizeof kLetters - 1)];
  }
  return suffix;
}

// A new hidden file beside target, open for writing. Its mode is 0666 for the kernel to
// apply the umask (and a default ACL) to, as for any file the program creates.
UniqueFd CreateTemporaryBeside(const std::filesystem::path& target, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name =
        (target.parent_path() / ("." + target.filename().string() + "." + RandomSuffix())).string();
    UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd || errno != EEXIST) {
      return fd;
    }
  }
  return UniqueFd();
}

// Writes content to a temporary file beside target and renames it over target, so a
// reader sees either the old file or the new one, never half of one.
bool ReplaceFile(const std::filesystem::path& target, const std::string& content) {
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    return false;
  }
  std::string temporary;
  UniqueFd fd = CreateTemporaryBeside(target, temporary);
  if (!fd) {
    return false;
  }
  bool ok = WriteAll(fd.get(), content);
  if (exists) {
    ok = ok && ::fchmod(fd.get(), existing.st_mode & 07777) == 0;
    // Keep the owner where we may (root editing a user's file); a failure here is harmless.
    [[maybe_unused]] const int owner = ::fchown(fd.get(), existing.st_uid, existing.st_gid);
  }
  ok = ok && ::fsync(fd.get()) == 0;
  ok = fd.close() && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
  }
  return ok;
}

}  // namespace

ProfileFile ProfileFile::Load(const std::filesystem::path& file) {
  ProfileFile profile;
  std::error_code error;
  profile.target_ = std::filesystem::canonical(file, error);
  if (error) {
    profile.target_ = file;
    // A link to nowhere, or a path that cannot be followed: never written through.
    profile.writable_ =
        !std::filesystem::exists(file, error) && !std::filesystem::is_symlink(file, error);
    return profile;
  }
  profile.onDisk_ = ReadWholeFile(profile.target_);
  if (!profile.onDisk_) {
    profile.writable_ = false;
    return profile;
  }
  profile.document_ = ProfileDocument(*profile.onDisk_);
  return profile;
}

bool ProfileFile::Save() {
  if (!writable_) {
    return false;
  }
  const std::string& text = document_.Text();
  if (text == onDisk_.value_or("")) {
    return true;
  }
  if (!ReplaceFile(target_, text)) {
    return false;
  }
  onDisk_ = text;
  return true;
}

std::string GetProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultText) {
  return ProfileFile::Load(file).Document().Get(section, key, defaultText);
}

bool WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
  auto profile = ProfileFile::Load(file);
  profile.Document().Set(section, key, value);
  return profile.Save();
}

}  // namespace brivane
