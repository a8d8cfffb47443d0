#include "tests/support/mate_sim_process.h"

#include <csignal>

#include "tests/support/service_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::testkit {

MateSim::MateSim(const std::vector<std::string>& args) {
  SpawnOptions options;
  options.args = args;
  process_ = std::make_unique<ChildProcess>(BinDir() / "mate-sim", options);
  WaitFor([&] { return !process_->StdoutLines().empty() || !process_->Running(); }, kPatience);
  const auto lines = process_->StdoutLines();
  if (!lines.empty()) {
    path_ = lines.front();
  }
}

MateSim::~MateSim() {
  if (process_->Running()) {
    process_->Signal(SIGTERM);
    process_->WaitForExit(kPatience);
  }
}

bool MateSim::TogglePause() {
  return process_->Signal(SIGUSR1);
}

}  // namespace brivane::testkit
