#pragma once

#include <systemd/sd-bus.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

// A private message bus (its own dbus-daemon on a socket in a temporary folder) with a
// stand-in for systemd's manager on it: it knows one unit, Brivane.service, answers
// LoadUnit, the unit's state properties, StartUnit and StopUnit, and records how each
// job was asked for. Programs reach it through DBUS_SYSTEM_BUS_ADDRESS.
namespace brivane {

class FakeServiceManager {
 public:
  struct Job {
    std::string method;
    bool interactive = false;
  };

  // Starts the bus and the manager; Ready() tells whether both came up.
  explicit FakeServiceManager(const std::filesystem::path& folder);
  ~FakeServiceManager();

  bool Ready() const { return ready_; }
  std::string Address() const { return address_; }

  void SetRunning(bool running);
  // Each reading of the unit (its LoadUnit) is answered this late, as by a busy or hung
  // manager.
  void SetAnswerDelay(std::chrono::milliseconds delay);

  std::vector<Job> Jobs() const;
  // The distinct connections that asked something.
  std::size_t Callers() const;
  int Answers() const { return answers_; }

 private:
  static int Handle(sd_bus_message* message, void* self, sd_bus_error* error);
  int Answer(sd_bus_message* message);
  void Serve();

  std::string address_;
  std::unique_ptr<testkit::ChildProcess> daemon_;
  sd_bus* bus_ = nullptr;
  bool ready_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<int> answers_{0};
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  bool running_ = false;
  std::chrono::milliseconds delay_{0};
  std::vector<Job> jobs_;
  std::set<std::string> callers_;
  std::thread thread_;
};

}  // namespace brivane
