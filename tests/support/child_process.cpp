#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "tests/support/wait_for.h"

extern char** environ;

namespace brivane::testkit {

namespace {

std::vector<std::string> BuildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const std::string name = text.substr(0, text.find('='));
    if (changes.find(name) == changes.end()) {
      result.push_back(text);
    }
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      result.push_back(name + "=" + *value);
    }
  }
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) {
    pointers.push_back(text.data());
  }
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const std::filesystem::path& program, const SpawnOptions& options) {
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  }
  UniqueFd outRead(outPipe[0]);
  UniqueFd outWrite(outPipe[1]);
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
  }
  UniqueFd errRead(errPipe[0]);
  UniqueFd errWrite(errPipe[1]);
  stopReading_.reset(::eventfd(0, EFD_CLOEXEC));
  if (!stopReading_) {
    throw std::runtime_error("eventfd: " + std::string(std::strerror(errno)));
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
  if (!options.workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
  }
  // The child starts with default signal handling and nothing blocked, whatever the
  // test runner has set.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.ownProcessGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attributes, flags);

  std::vector<std::string> argTexts{program.string()};
  argTexts.insert(argTexts.end(), options.args.begin(), options.args.end());
  std::vector<std::string> envTexts = BuildEnvironment(options.environment);
  std::vector<char*> argv = Pointers(argTexts);
  std::vector<char*> envp = Pointers(envTexts);

  const int result =
      posix_spawnp(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  outWrite.reset();
  errWrite.reset();
  if (result != 0) {
    throw std::runtime_error("spawn " + program.string() + ": " + std::strerror(result));
  }
  ownGroup_ = options.ownProcessGroup;
  out_.fd = std::move(outRead);
  err_.fd = std::move(errRead);
  out_.reader = std::thread([this] { Read(out_); });
  err_.reader = std::thread([this] { Read(err_); });
}

ChildProcess::~ChildProcess() {
  if (!Reap(false)) {
    ::kill(pid_, SIGKILL);
    Reap(true);
  }
  // What the child started may hold its output open for long; nobody reads it now.
  const std::uint64_t stop = 1;
  [[maybe_unused]] const auto written = ::write(stopReading_.get(), &stop, sizeof stop);
  for (Stream* stream : {&out_, &err_}) {
    if (stream->reader.joinable()) {
      stream->reader.join();
    }
    stream->fd.reset();
  }
}

void ChildProcess::Read(Stream& stream) {
  char buffer[4096];
  pollfd watched[2] = {{stream.fd.get(), POLLIN, 0}, {stopReading_.get(), POLLIN, 0}};
  for (;;) {
    ssize_t count = -1;
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
    } else if (watched[1].revents == 0) {
      count = ::read(stream.fd.get(), buffer, sizeof buffer);
      if (count < 0 && errno == EINTR) {
        continue;
      }
    }
    std::lock_guard lock(mutex_);
    if (count <= 0) {
      if (!stream.partial.empty()) {
        stream.lines.push_back(std::move(stream.partial));
        stream.partial.clear();
      }
      stream.closed = true;
      changed_.notify_all();
      return;
    }
    if (!stream.firstByteAt) {
      stream.firstByteAt = Clock::now();
    }
    stream.text.append(buffer, static_cast<std::size_t>(count));
    stream.partial.append(buffer, static_cast<std::size_t>(count));
    std::size_t end;
    while ((end = stream.partial.find('\n')) != std::string::npos) {
      stream.lines.push_back(stream.partial.substr(0, end));
      stream.partial.erase(0, end + 1);
    }
    changed_.notify_all();
  }
}

bool ChildProcess::Reap(bool block) {
  if (status_) {
    return true;
  }
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result != pid_) {
    return false;
  }
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool ChildProcess::Signal(int signal) {
  if (Reap(false)) {
    return false;
  }
  return ::kill(pid_, signal) == 0;
}

bool ChildProcess::SignalGroup(int signal) {
  return ownGroup_ && ::kill(-pid_, signal) == 0;
}

bool ChildProcess::Running() {
  return !Reap(false);
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  if (!WaitFor([this] { return Reap(false); }, timeout, std::chrono::milliseconds(5))) {
    return std::nullopt;
  }
  // The pipes close with the process; their last lines may still be on the way.
  std::unique_lock lock(mutex_);
  changed_.wait_until(lock, deadline, [this] { return out_.closed && err_.closed; });
  return status_;
}

bool ChildProcess::OutputClosed() const {
  std::lock_guard lock(mutex_);
  return out_.closed && err_.closed;
}

std::string ChildProcess::StdoutText() const {
  std::lock_guard lock(mutex_);
  return out_.text;
}

std::string ChildProcess::StderrText() const {
  std::lock_guard lock(mutex_);
  return err_.text;
}

std::optional<ChildProcess::Clock::time_point> ChildProcess::FirstStdoutAt() const {
  std::lock_guard lock(mutex_);
  return out_.firstByteAt;
}

std::vector<std::string> ChildProcess::StdoutLines() const {
  std::lock_guard lock(mutex_);
  return out_.lines;
}

std::vector<std::string> ChildProcess::StderrLines() const {
  std::lock_guard lock(mutex_);
  return err_.lines;
}

bool ChildProcess::WaitForStderrLine(const std::function<bool(const std::string&)>& match,
                                     std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  std::size_t checked = 0;
  return changed_.wait_for(lock, timeout, [&] {
    for (; checked < err_.lines.size(); ++checked) {
      if (match(err_.lines[checked])) {
        return true;
      }
    }
    return false;
  });
}

}  // namespace brivane::testkit
