#include "service/host/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace brivane {

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

bool SingleInstance::Acquire(const std::filesystem::path& programFile) {
  if (fd_ >= 0) {
    return true;
  }
  const int fd = ::open(programFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return true;
  }
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;
  }
  fd_ = fd;
  return true;
}

}  // namespace brivane
