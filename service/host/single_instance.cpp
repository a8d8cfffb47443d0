#include "service/host/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace brivane {

bool SingleInstance::Acquire(const std::filesystem::path& programFile) {
  if (fd_) {
    return true;
  }
  UniqueFd fd(::open(programFile.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    return true;
  }
  int result;
  do {
    result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    return errno != EWOULDBLOCK;
  }
  fd_ = std::move(fd);
  return true;
}

}  // namespace brivane
