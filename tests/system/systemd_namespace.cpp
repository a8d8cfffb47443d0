#include "tests/system/systemd_namespace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "common/unique_fd.h"
#include "tests/support/child_process.h"

namespace brivane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kBootTimeout = 90s;
constexpr auto kTeardownTimeout = 10s;
// Names of what a boot leaves on the machine, each followed by the test's process id.
constexpr const char* kGroupPrefix = "brivane-system-test-";
constexpr const char* kWorkPrefix = "brivane-namespace-";
constexpr const char* kExchangePrefix = "brivane-exchange-";

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Trimmed(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) {
    return "";
  }
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<char*> ArgumentVector(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const auto& argument : argv) {
    pointers.push_back(const_cast<char*>(argument.c_str()));
  }
  pointers.push_back(nullptr);
  return pointers;
}

// Where the unified control-group hierarchy is mounted, and our own group in it.
std::optional<std::filesystem::path> OwnControlGroup() {
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  std::optional<std::filesystem::path> mountPoint;
  while (std::getline(mounts, line)) {
    const auto separator = line.find(" - ");
    if (separator == std::string::npos) {
      continue;
    }
    std::istringstream after(line.substr(separator + 3));
    std::string fsType;
    after >> fsType;
    if (fsType != "cgroup2") {
      continue;
    }
    std::istringstream before(line.substr(0, separator));
    std::string id, parent, device, root, point;
    before >> id >> parent >> device >> root >> point;
    if (root == "/") {
      mountPoint = point;
      break;
    }
  }
  if (!mountPoint) {
    return std::nullopt;
  }
  std::ifstream groups("/proc/self/cgroup");
  while (std::getline(groups, line)) {
    if (line.rfind("0::", 0) == 0) {
      return *mountPoint / std::filesystem::path(line.substr(3)).relative_path();
    }
  }
  return std::nullopt;
}

// Removes a control-group tree from the leaves up; groups empty shortly after their
// processes are reaped, so busy ones are tried again for a while.
void RemoveControlGroup(const std::filesystem::path& group) {
  const auto deadline = Clock::now() + kTeardownTimeout;
  while (true) {
    std::error_code error;
    std::vector<std::filesystem::path> folders;
    for (auto it = std::filesystem::recursive_directory_iterator(group, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_directory(error)) {
        folders.push_back(it->path());
      }
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
      ::rmdir(folder->c_str());
    }
    if (::rmdir(group.c_str()) == 0 || errno == ENOENT || Clock::now() > deadline) {
      return;
    }
    std::this_thread::sleep_for(100ms);
  }
}

// The process id in a leftover's name ("<prefix><pid>-..."), when its owner has died.
bool LeftBehindByDeadProcess(const std::string& name, const std::string& prefix) {
  if (name.rfind(prefix, 0) != 0) {
    return false;
  }
  const pid_t owner = static_cast<pid_t>(std::atol(name.c_str() + prefix.size()));
  return owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH;
}

// A test process killed from outside (a time-out) takes its namespace along (see the
// launcher), but cannot remove its folders and control group: the next boot does.
void RemoveLeftovers(const std::filesystem::path& groupParent) {
  std::error_code error;
  const std::vector<std::pair<std::filesystem::path, std::string>> places = {
      {groupParent, kGroupPrefix},
      {"/tmp", kWorkPrefix},
      {std::filesystem::current_path(error), kExchangePrefix}};
  for (const auto& [folder, prefix] : places) {
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (!LeftBehindByDeadProcess(entry.path().filename().string(), prefix)) {
        continue;
      }
      if (prefix == kGroupPrefix) {
        RemoveControlGroup(entry.path());
      } else {
        std::error_code ignored;
        std::filesystem::remove_all(entry.path(), ignored);
      }
    }
  }
}

bool ProgramRuns(const std::vector<std::string>& argv) {
  return RunCommand(argv, 10s).exitStatus == 0;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  CommandResult result;
  testkit::SpawnOptions options;
  options.args.assign(argv.begin() + 1, argv.end());
  // nsenter and what it starts share the group, so a time-out reaches all of them.
  options.ownProcessGroup = true;
  const auto start = Clock::now();
  std::optional<testkit::ChildProcess> process;
  try {
    process.emplace(argv.front(), options);
  } catch (const std::exception& error) {
    result.exitStatus = 127;
    result.err = error.what();
    return result;
  }
  const std::optional<int> status = process->WaitForExit(timeout);
  if (status && process->OutputClosed()) {
    result.exitStatus = *status;
  } else {
    process->SignalGroup(SIGKILL);
  }
  result.out = process->StdoutText();
  result.err = process->StderrText();
  const auto firstOutput = process->FirstStdoutAt();
  process.reset();
  result.elapsed = Clock::now() - start;
  result.firstOutputAfter = firstOutput ? *firstOutput - start : result.elapsed;
  return result;
}

std::unique_ptr<SystemdNamespace> SystemdNamespace::Boot(std::string& skipReason,
                                                         std::string& failure) {
  if (::geteuid() != 0) {
    skipReason = "system tests boot a systemd in namespaces and need root";
    return nullptr;
  }
  if (::access("/lib/systemd/systemd", X_OK) != 0) {
    skipReason = "no systemd at /lib/systemd/systemd";
    return nullptr;
  }
  if (!ProgramRuns({"nsenter", "--version"}) || !ProgramRuns({"unshare", "--version"})) {
    skipReason = "unshare or nsenter (util-linux) is missing";
    return nullptr;
  }
  const auto ownGroup = OwnControlGroup();
  if (!ownGroup) {
    skipReason = "no unified control-group hierarchy (cgroup2) is mounted";
    return nullptr;
  }
  const auto trial = RunCommand({"unshare", "--fork", "--pid", "--mount", "--uts", "--ipc", "--net",
                                 "--cgroup", "--propagation", "private", "true"},
                                10s);
  if (trial.exitStatus != 0) {
    skipReason = "namespaces are not allowed here: " + Trimmed(trial.err);
    return nullptr;
  }

  RemoveLeftovers(*ownGroup);
  const std::string self = std::to_string(::getpid());
  std::unique_ptr<SystemdNamespace> system(new SystemdNamespace());
  system->controlGroup_ = *ownGroup / (kGroupPrefix + self + "-" +
                                       std::to_string(Clock::now().time_since_epoch().count()));
  std::error_code error;
  if (!std::filesystem::create_directory(system->controlGroup_, error)) {
    skipReason =
        "cannot create a control group under " + ownGroup->string() + ": " + error.message();
    system->controlGroup_.clear();
    return nullptr;
  }
  std::string work = "/tmp/" + (kWorkPrefix + self) + "-XXXXXX";
  if (::mkdtemp(work.data()) == nullptr) {
    failure = "mkdtemp: " + std::string(std::strerror(errno));
    return nullptr;
  }
  system->work_ = work;
  // Beside the test rather than in /tmp, so the unit's private /tmp is exercised too.
  std::string exchange =
      (std::filesystem::current_path() / (kExchangePrefix + self + "-XXXXXX")).string();
  if (::mkdtemp(exchange.data()) == nullptr) {
    failure = "mkdtemp: " + std::string(std::strerror(errno));
    return nullptr;
  }
  system->exchange_ = exchange;
  ::chmod(exchange.c_str(), 0755);
  system->log_ = system->exchange_ / "namespace.log";

  std::vector<std::string> launch = {"unshare",
                                     "--fork",
                                     "--kill-child=SIGKILL",
                                     "--pid",
                                     "--mount",
                                     "--uts",
                                     "--ipc",
                                     "--net",
                                     "--cgroup",
                                     "--propagation",
                                     "private",
                                     "sh",
                                     BRIVANE_NAMESPACE_INIT_SCRIPT,
                                     system->work_.string(),
                                     system->exchange_.string()};
  if (const char* programs = std::getenv("BRIVANE_BIN_DIR")) {
    launch.push_back(std::filesystem::absolute(programs).string());
  }
  auto arguments = ArgumentVector(launch);
  const std::string procs = (system->controlGroup_ / "cgroup.procs").string();
  const std::string logPath = system->log_.string();
  // Forked by hand, not a ChildProcess: it joins its control group and dies with us before exec.
  const pid_t launcher = ::fork();
  if (launcher == 0) {
    // Should this test process die, unshare dies with it and takes the namespace along.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    UniqueFd group(::open(procs.c_str(), O_WRONLY));
    if (!group || ::write(group.get(), "0\n", 2) != 2) {
      const std::string why = "cannot enter the control group " + procs + "\n";
      [[maybe_unused]] const auto written = ::write(log, why.data(), why.size());
      ::_exit(126);
    }
    group.reset();
    ::setsid();
    const int nothing = ::open("/dev/null", O_RDONLY);
    ::dup2(nothing, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    ::execvp(arguments[0], arguments.data());
    ::_exit(127);
  }
  if (launcher < 0) {
    failure = "fork: " + std::string(std::strerror(errno));
    return nullptr;
  }
  system->launcher_ = launcher;

  auto launcherEnded = [&] {
    int status = 0;
    if (::waitpid(launcher, &status, WNOHANG) == launcher) {
      system->launcher_ = -1;
      return true;
    }
    return false;
  };
  const std::string children =
      "/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) + "/children";
  WaitFor(
      [&] {
        std::istringstream(ReadWholeFile(children)) >> system->init_;
        return system->init_ > 0 || system->launcher_ < 0 || launcherEnded();
      },
      10s);
  if (system->init_ <= 0) {
    skipReason = "the namespace could not be set up: " + Trimmed(ReadWholeFile(system->log_));
    return nullptr;
  }

  std::string state;
  const bool up = WaitFor(
      [&] {
        if (system->launcher_ < 0 || launcherEnded()) {
          return true;
        }
        state = Trimmed(system->Run({"systemctl", "is-system-running"}, 10s).out);
        return state == "running" || state == "degraded";
      },
      kBootTimeout);
  if (system->launcher_ < 0) {
    // The script failed before systemd took over (a mount refused, say).
    skipReason = "the namespace could not be set up: " + Trimmed(ReadWholeFile(system->log_));
    return nullptr;
  }
  if (!up) {
    failure = "systemd in the namespace did not come up (is-system-running: " + state +
              ")\nfailed units:\n" +
              system->Run({"systemctl", "--failed", "--no-legend", "--no-pager"}).out + "\nlog:\n" +
              ReadWholeFile(system->log_);
    return nullptr;
  }
  return system;
}

SystemdNamespace::~SystemdNamespace() {
  if (init_ > 0) {
    ::kill(init_, SIGKILL);
  }
  if (launcher_ > 0) {
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(launcher_, &status, WNOHANG) == launcher_; },
                 kTeardownTimeout)) {
      ::kill(launcher_, SIGKILL);
      ::waitpid(launcher_, &status, 0);
    }
  }
  if (!controlGroup_.empty()) {
    RemoveControlGroup(controlGroup_);
  }
  std::error_code ignored;
  if (!work_.empty()) {
    std::filesystem::remove(work_, ignored);
  }
  if (!exchange_.empty()) {
    std::filesystem::remove_all(exchange_, ignored);
  }
}

CommandResult SystemdNamespace::Run(const std::vector<std::string>& argv,
                                    std::chrono::milliseconds timeout) const {
  std::vector<std::string> command = {
      "nsenter", "-t", std::to_string(init_), "-m", "-p", "-u", "-i", "-n", "-r", "-w", "--"};
  command.insert(command.end(), argv.begin(), argv.end());
  return RunCommand(command, timeout);
}

CommandResult SystemdNamespace::Shell(const std::string& script,
                                      std::chrono::milliseconds timeout) const {
  return Run({"sh", "-c", script}, timeout);
}

std::string SystemdNamespace::UnitProperty(const std::string& unit,
                                           const std::string& property) const {
  return Trimmed(Run({"systemctl", "show", "-p", property, "--value", unit}).out);
}

}  // namespace brivane::testing
