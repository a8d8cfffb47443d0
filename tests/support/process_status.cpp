#include "tests/support/process_status.h"

#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace brivane::testkit {
namespace {

std::uint64_t StatusKiB(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) {
      return std::stoull(line.substr(key.size() + 1));
    }
  }
  return 0;
}

// Socket inodes of the TCP table of the process's network namespace.
std::set<std::string> TcpInodes(pid_t pid) {
  std::set<std::string> inodes;
  for (const char* table : {"/net/tcp", "/net/tcp6"}) {
    std::ifstream file("/proc/" + std::to_string(pid) + table);
    std::string line;
    std::getline(file, line);  // heading
    while (std::getline(file, line)) {
      std::istringstream fields(line);
      std::string field;
      for (int index = 0; index < 10 && fields >> field; ++index) {
      }
      inodes.insert(field);
    }
  }
  return inodes;
}

// The inodes of the sockets a process holds, "socket:[<inode>]".
std::vector<std::string> SocketInodes(pid_t pid, bool& readable) {
  std::vector<std::string> inodes;
  std::error_code error;
  std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error);
  readable = !error;
  for (std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
    std::error_code linkError;
    const std::string target = std::filesystem::read_symlink(it->path(), linkError).string();
    if (target.rfind("socket:[", 0) == 0) {
      inodes.push_back(target.substr(8, target.size() - 9));
    }
  }
  readable = readable && !error;
  return inodes;
}

}  // namespace

int OpenTcpSockets(pid_t pid) {
  bool readable = false;
  const auto held = SocketInodes(pid, readable);
  if (!readable) {
    return -1;
  }
  const auto tcp = TcpInodes(pid);
  return static_cast<int>(std::count_if(
      held.begin(), held.end(), [&](const std::string& inode) { return tcp.count(inode) != 0; }));
}

int OpenDescriptors(pid_t pid) {
  std::error_code error;
  std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error);
  if (error) {
    return -1;
  }
  int count = 0;
  for (std::filesystem::directory_iterator end; it != end; it.increment(error)) {
    if (error) {
      return -1;
    }
    ++count;
  }
  return count;
}

int OpenSockets(pid_t pid) {
  bool readable = false;
  const auto held = SocketInodes(pid, readable);
  return readable ? static_cast<int>(held.size()) : -1;
}

std::uint64_t ResidentKiB(pid_t pid) {
  return StatusKiB(pid, "VmRSS");
}
std::uint64_t PeakResidentKiB(pid_t pid) {
  return StatusKiB(pid, "VmHWM");
}

std::uint64_t RaiseOpenFileLimit(std::uint64_t wanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return 0;
  }
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    ::getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur;
}

}  // namespace brivane::testkit
