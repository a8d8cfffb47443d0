#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/unique_fd.h"

namespace brivane::testkit {

struct SpawnOptions {
  std::vector<std::string> args;  // after the program name
  // Changes to the inherited environment: a value sets the variable, nothing unsets it.
  std::map<std::string, std::optional<std::string>> environment;
  std::filesystem::path workingDirectory;  // empty: the test's own
  // The child leads a process group of its own, which SignalGroup reaches as a whole.
  bool ownProcessGroup = false;
};

// A program started by a test, with its standard output and error read as they come.
// Destroying it kills a process that is still running and reaps it; it does not wait
// for descendants that still hold its output open.
class ChildProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // A program named without a slash is looked up on PATH, as a shell does.
  ChildProcess(const std::filesystem::path& program, const SpawnOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Sends a signal; false once the process has been reaped.
  bool Signal(int signal);
  // Sends a signal to the child's own process group, which outlives the child while
  // anything it started is still in it; false when there is no such group (left).
  bool SignalGroup(int signal);

  // True while the process has not ended.
  bool Running();

  // The exit status once it ended within timeout (128 + n for death by signal n); by
  // then everything it wrote to its standard output and error has been read.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);
  // True once standard output and error are closed by everything that held them.
  bool OutputClosed() const;

  std::vector<std::string> StdoutLines() const;
  std::vector<std::string> StderrLines() const;
  // Everything read so far, byte for byte.
  std::string StdoutText() const;
  std::string StderrText() const;
  // When the first byte arrived on standard output.
  std::optional<Clock::time_point> FirstStdoutAt() const;
  // Text that ends without a line end is a line of its own once the stream is closed.
  bool WaitForStderrLine(const std::function<bool(const std::string&)>& match,
                         std::chrono::milliseconds timeout) const;

 private:
  struct Stream {
    UniqueFd fd;
    std::string text;
    std::optional<Clock::time_point> firstByteAt;
    std::string partial;
    std::vector<std::string> lines;
    bool closed = false;
    std::thread reader;
  };
  void Read(Stream& stream);
  bool Reap(bool block);

  pid_t pid_ = -1;
  bool ownGroup_ = false;
  std::optional<int> status_;
  UniqueFd stopReading_;  // an eventfd: readable once the readers are to give up
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Stream out_;
  Stream err_;
};

}  // namespace brivane::testkit
