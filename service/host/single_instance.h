#pragma once

#include <filesystem>

#include "common/unique_fd.h"

namespace brivane {

// The running-instance check: an exclusive lock on the program's own file, held for the
// life of this object. It sees exactly the processes of this same program file, and the
// kernel drops it with the process, so nothing is left behind.
class SingleInstance {
 public:
  // False only when another process holds the lock. A file that cannot be opened
  // cannot tell, and the service runs rather than refusing.
  bool Acquire(const std::filesystem::path& programFile);

 private:
  UniqueFd fd_;
};

}  // namespace brivane
