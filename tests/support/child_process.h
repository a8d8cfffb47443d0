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
};

// A program started by a test, with its standard output and error read line by line.
// Destroying it kills a process that is still running and reaps it.
class ChildProcess {
 public:
  ChildProcess(const std::filesystem::path& program, const SpawnOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Sends a signal; false once the process has been reaped.
  bool Signal(int signal);

  // True while the process has not ended.
  bool Running();

  // The exit status once it ended within timeout (128 + n for death by signal n); by
  // then everything it wrote to its standard output and error has been read.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

  std::vector<std::string> StdoutLines() const;
  std::vector<std::string> StderrLines() const;
  // Text that ends without a line end is a line of its own once the stream is closed.
  bool WaitForStderrLine(const std::function<bool(const std::string&)>& match,
                         std::chrono::milliseconds timeout) const;

 private:
  struct Stream {
    UniqueFd fd;
    std::string partial;
    std::vector<std::string> lines;
    bool closed = false;
    std::thread reader;
  };
  void Read(Stream& stream);
  bool Reap(bool block);

  pid_t pid_ = -1;
  std::optional<int> status_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Stream out_;
  Stream err_;
};

}  // namespace brivane::testkit
