#include "bench/common/process_figures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace brivane::bench {
namespace fs = std::filesystem;

namespace {

std::uint64_t StatusValue(const std::string& text, const std::string& key) {
  const auto at = text.find("\n" + key + ":");
  if (at == std::string::npos) {
    return 0;
  }
  std::istringstream value(text.substr(at + key.size() + 2));
  std::uint64_t number = 0;
  value >> number;
  return number;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << "\n" << file.rdbuf();
  return text.str();
}

}  // namespace

ProcessFigures ReadProcessFigures(pid_t pid) {
  ProcessFigures figures;
  const fs::path proc = "/proc/" + std::to_string(pid);
  const std::string stat = ReadAll(proc / "stat");
  // Fields after the command name, which ends with the last ')'.
  const auto close = stat.rfind(')');
  if (close != std::string::npos) {
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (int index = 3; fields >> field; ++index) {
      if (index == 14) {
        figures.userSeconds = std::stod(field) / tick;
      } else if (index == 15) {
        figures.systemSeconds = std::stod(field) / tick;
        break;
      }
    }
  }
  const std::string status = ReadAll(proc / "status");
  figures.peakRssKiB = StatusValue(status, "VmHWM");
  figures.rssKiB = StatusValue(status, "VmRSS");
  const std::string io = ReadAll(proc / "io");
  figures.readCalls = StatusValue(io, "syscr");
  figures.writeCalls = StatusValue(io, "syscw");
  std::error_code error;
  for (const auto& task : fs::directory_iterator(proc / "task", error)) {
    const std::string taskStatus = ReadAll(task.path() / "status");
    figures.voluntarySwitches += StatusValue(taskStatus, "voluntary_ctxt_switches");
    figures.involuntarySwitches += StatusValue(taskStatus, "nonvoluntary_ctxt_switches");
    std::ifstream schedstat(task.path() / "schedstat");
    double nanoseconds = 0;
    if (schedstat >> nanoseconds) {
      figures.runNanoseconds += nanoseconds;
    }
    ++figures.threads;
  }
  return figures;
}

ProcessCost CostBetween(const ProcessFigures& before, const ProcessFigures& after) {
  ProcessCost cost;
  cost.userSeconds = after.userSeconds - before.userSeconds;
  cost.systemSeconds = after.systemSeconds - before.systemSeconds;
  cost.cpuSeconds = cost.userSeconds + cost.systemSeconds;
  cost.runSeconds = (after.runNanoseconds - before.runNanoseconds) / 1e9;
  cost.voluntarySwitches = after.voluntarySwitches - before.voluntarySwitches;
  cost.involuntarySwitches = after.involuntarySwitches - before.involuntarySwitches;
  cost.wakeUps = cost.voluntarySwitches + cost.involuntarySwitches;
  cost.readCalls = after.readCalls - before.readCalls;
  cost.writeCalls = after.writeCalls - before.writeCalls;
  cost.peakRssKiB = after.peakRssKiB;
  cost.threads = after.threads;
  return cost;
}

int OpenDescriptors(pid_t pid) {
  int count = 0;
  std::error_code error;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error)) {
    ++count;
  }
  return count;
}

bool HoldsFile(pid_t pid, const char* path) {
  std::error_code error;
  const fs::path wanted = fs::canonical(path, error);
  if (error) {
    return false;
  }
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error)) {
    std::error_code linkError;
    if (fs::read_symlink(it->path(), linkError) == wanted) {
      return true;
    }
  }
  return false;
}

}  // namespace brivane::bench
