#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace brivane::testkit {

// build/bin/mate-sim running on a pseudo-terminal of its own; Path() is the serial end
// it printed (empty when it did not start in time).
class MateSim {
 public:
  explicit MateSim(const std::vector<std::string>& args);
  ~MateSim();
  MateSim(const MateSim&) = delete;
  MateSim& operator=(const MateSim&) = delete;

  const std::string& Path() const { return path_; }
  // SIGUSR1: pauses a sending simulator, resumes a paused one.
  bool TogglePause();
  // For its exit status and signals of the test's choosing.
  ChildProcess& Process() { return *process_; }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string path_;
};

}  // namespace brivane::testkit
