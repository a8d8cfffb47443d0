#include "common/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/unique_fd.h"

namespace brivane {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return std::nullopt;
  }
  std::string content;
  char chunk[4096];
  for (;;) {
    const auto n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    content.append(chunk, static_cast<std::size_t>(n));
  }
  return content;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteWholeFile(const std::filesystem::path& file, const std::string& text, mode_t mode) {
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
  if (!fd) {
    return false;
  }
  bool ok = WriteAll(fd.get(), text);
  ok = ok && ::fchmod(fd.get(), mode) == 0;
  ok = fd.close() && ok;
  return ok;
}

}  // namespace brivane
