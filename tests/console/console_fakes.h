#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "console/console_desktop.h"
#include "console/service_checks.h"

// Stand-ins for the service manager and the desktop, so the window can be driven
// through every state without systemd and without a message box waiting for a click.
namespace brivane {

// Called on the watcher's thread while the test reads and sets it on its own. While
// held, every call waits, as a slow service manager keeps its caller waiting, until the
// test releases it or the hold runs out.
class FakeServiceChecks : public ServiceChecks {
 public:
  using State = ServiceState;

  std::atomic<State> state{State::NotInstalled};
  std::atomic<int> readCalls{0};
  std::atomic<int> startCalls{0};
  std::atomic<int> stopCalls{0};

  State Read() override {
    WaitWhileHeld();
    ++readCalls;
    return state;
  }
  void Start() override {
    WaitWhileHeld();
    ++startCalls;
  }
  void Stop() override {
    WaitWhileHeld();
    ++stopCalls;
  }

  void Hold(std::chrono::milliseconds longest) {
    const std::lock_guard lock(mutex_);
    heldUntil_ = std::chrono::steady_clock::now() + longest;
  }
  void Release() {
    {
      const std::lock_guard lock(mutex_);
      heldUntil_ = {};
    }
    released_.notify_all();
  }

 private:
  void WaitWhileHeld() {
    std::unique_lock lock(mutex_);
    released_.wait_until(lock, heldUntil_,
                         [this] { return heldUntil_ == std::chrono::steady_clock::time_point{}; });
  }

  std::mutex mutex_;
  std::condition_variable released_;
  std::chrono::steady_clock::time_point heldUntil_{};
};

class FakeDesktop : public ConsoleDesktop {
 public:
  struct Message {
    Icon icon;
    QString title;
    QString text;
  };

  std::vector<Message> messages;
  std::vector<QUrl> openedUrls;
  bool browserWorks = true;
  int endProgramCalls = 0;

  void ShowMessage(QWidget*, Icon icon, const QString& title, const QString& text) override {
    messages.push_back({icon, title, text});
  }
  bool OpenUrl(const QUrl& url) override {
    openedUrls.push_back(url);
    return browserWorks;
  }
  void EndProgram() override { ++endProgramCalls; }
};

}  // namespace brivane
