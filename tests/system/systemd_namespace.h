#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/wait_for.h"

// A real systemd as PID 1 of private PID, mount, UTS, IPC, network and cgroup
// namespaces, booted on a throw-away overlay of the machine's root (namespace_init.sh).
// One folder, Exchange(), is shared at the same path inside and outside.
namespace brivane::testing {

struct CommandResult {
  int exitStatus = -1;  // -1: timed out (then killed); 128 + n: ended by signal n
  std::string out;
  std::string err;
  std::chrono::steady_clock::duration elapsed{};
  // From the start to the first byte on standard output (elapsed when there was none).
  std::chrono::steady_clock::duration firstOutputAfter{};
};

class SystemdNamespace {
 public:
  // Boots the namespace and waits until systemd reports the system up. On failure gives
  // nothing and sets skipReason when this machine cannot run namespaces at all (test
  // skipped), or failure when it could and booting went wrong (test failed).
  static std::unique_ptr<SystemdNamespace> Boot(std::string& skipReason, std::string& failure);

  SystemdNamespace(const SystemdNamespace&) = delete;
  SystemdNamespace& operator=(const SystemdNamespace&) = delete;
  // Kills the namespace's PID 1 from outside, which ends everything inside, and removes
  // the folders and control groups.
  ~SystemdNamespace();

  pid_t Init() const { return init_; }
  const std::filesystem::path& Exchange() const { return exchange_; }

  // Runs argv inside every namespace of the system (nsenter), as root unless argv says
  // otherwise; killed with its process group when it outlasts timeout.
  CommandResult Run(const std::vector<std::string>& argv,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
  // A shell command line inside.
  CommandResult Shell(const std::string& script,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

  // The value of one property of a unit (systemctl show -p ... --value), trimmed.
  std::string UnitProperty(const std::string& unit, const std::string& property) const;

 private:
  SystemdNamespace() = default;

  pid_t launcher_ = -1;  // unshare, parent of init_
  pid_t init_ = -1;
  std::filesystem::path work_;
  std::filesystem::path exchange_;
  std::filesystem::path controlGroup_;
  std::filesystem::path log_;
};

// Runs argv on the machine itself, with the same capture and time limit.
CommandResult RunCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

// Polls condition every 100 ms until it holds or timeout passes; whether it held. The
// conditions here run commands in the namespace, hence the slower pace.
inline bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return testkit::WaitFor(condition, timeout, std::chrono::milliseconds(100));
}

}  // namespace brivane::testing
