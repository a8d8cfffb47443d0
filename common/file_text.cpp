#include "common/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace brivane {

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  std::string content;
  char chunk[4096];
  for (;;) {
    const auto n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    content.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
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
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) {
    return false;
  }
  bool ok = WriteAll(fd, text);
  ok = ok && ::fchmod(fd, mode) == 0;
  ok = (::close(fd) == 0) && ok;
  return ok;
}

}  // namespace brivane
