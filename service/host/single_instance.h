#pragma once

#include <filesystem>

namespace brivane {

// The running-instance check: an exclusive lock on the program's own file, held for the
// life of this object. It sees exactly the processes of this same program file, and the
// kernel drops it with the process, so nothing is left behind.
class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False only when another process holds the lock. A file that cannot be opened
  // cannot tell, and the service runs rather than refusing.
  bool Acquire(const std::filesystem::path& programFile);

 private:
  int fd_ = -1;
};

}  // namespace brivane
