#include "service/host/orderly_exit.h"

#include <memory>

namespace brivane {

namespace {

struct ExitRun {
  PostFn post;
  ExitSteps steps;
};

template <typename Step, typename... Args>
void Attempt(const Step& step, Args... args) {
  try {
    if (step) {
      step(args...);
    }
  } catch (...) {
    // Releasing goes on whatever state the object is in.
  }
}

bool InUse(const ExitSteps& steps, int slot) {
  try {
    return steps.slotInUse && steps.slotInUse(slot);
  } catch (...) {
    return false;
  }
}

void Finish(const std::shared_ptr<ExitRun>& run) {
  Attempt(run->steps.destroyConnectionSockets);
  Attempt(run->steps.endRun);
}

void CloseConnectionsFrom(const std::shared_ptr<ExitRun>& run, int slot) {
  for (; slot <= ExitSteps::kConnectionSlots; ++slot) {
    if (InUse(run->steps, slot)) {
      Attempt(run->steps.closeConnection, slot);
      run->post([run, slot] { CloseConnectionsFrom(run, slot + 1); });
      return;
    }
  }
  Finish(run);
}

void CloseSockets(const std::shared_ptr<ExitRun>& run) {
  Attempt(run->steps.closeListener);
  Attempt(run->steps.closeUdp);
  CloseConnectionsFrom(run, 1);
}

}  // namespace

void RunOrderlyExit(const PostFn& post, ExitSteps steps) {
  auto run = std::make_shared<ExitRun>(ExitRun{post, std::move(steps)});
  Attempt(run->steps.closeSerialPort);
  run->post([run] { CloseSockets(run); });
}

}  // namespace brivane
