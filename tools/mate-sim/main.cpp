// mate-sim: a MATE on a pseudo-terminal for demos, tests and benchmarks.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/file_text.h"
#include "tools/mate-sim/mate_pages.h"
#include "tools/mate-sim/replay_pages.h"
#include "tools/mate-sim/sim_line.h"
#include "tools/mate-sim/sim_options.h"

namespace brivane::sim {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};
std::atomic<bool> pausedBySignal{false};
std::atomic<bool> faultBySignal{false};

void OnStop(int) {
  stopRequested = true;
}
void OnTogglePause(int) {
  pausedBySignal = !pausedBySignal;
}
void OnToggleFault(int) {
  faultBySignal = !faultBySignal;
}

void InstallSignals() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnStop;  // no SA_RESTART: sleeps and writes return at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  action.sa_handler = OnTogglePause;
  sigaction(SIGUSR1, &action, nullptr);
  action.sa_handler = OnToggleFault;
  sigaction(SIGUSR2, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// False when a stop was asked for before the moment came.
bool SleepUntil(Clock::time_point moment) {
  const auto sinceEpoch = moment.time_since_epoch();
  const auto secs = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  timespec when{};
  when.tv_sec = static_cast<time_t>(secs.count());
  when.tv_nsec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - secs).count());
  while (!stopRequested) {
    const int result = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr);
    if (result == 0) {
      return !stopRequested;
    }
    if (result != EINTR) {
      return !stopRequested;
    }
  }
  return false;
}

// Line noise of the kinds the service must survive.
std::string MalformedText(std::mt19937& random) {
  static const std::vector<std::string> kinds = {
      "NOISE WITHOUT ANY LINE FEED",  // dropped while no record is open
      "\nNO COMMA HERE\r",            // no comma
      "\nAB,12,34\r",                 // first field of two characters
      "\n\r",                         // empty record
      "stray text ",                  // before the next page's line feed
      "\n1,00,0",                     // cut short: the next page joins it
  };
  return kinds[random() % kinds.size()];
}

class Simulator {
 public:
  // With replay cycles, sends those instead of the simulated devices' pages.
  Simulator(const SimOptions& options, SimLine& line, std::vector<std::vector<std::string>> replay)
      : options_(options), line_(line), random_(options.seed), replay_(std::move(replay)) {
    if (replay_.empty()) {
      for (char address : options.devices) {
        devices_.emplace_back(address);
      }
    }
  }

  // Sends until stopped or the count is reached; false when the line failed.
  bool Run() {
    const auto start = Clock::now();
    const auto cycle = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / options_.rate));
    auto nextCycle = start;
    nextCharacter_ = start;
    while (SleepUntil(nextCycle)) {
      const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
      const bool paused =
          pausedBySignal || (options_.pauseAfter >= 0 && seconds >= options_.pauseAfter &&
                             seconds < options_.pauseAfter + options_.pauseFor);
      const std::size_t pages = replay_.empty() ? devices_.size() : replay_[nextReplay_].size();
      for (std::size_t page = 0; page < pages; ++page) {
        if (stopRequested || paused || !line_.ReaderPresent()) {
          break;
        }
        std::string text = PageText(page, seconds);
        if (options_.malformedEvery > 0 &&
            random_() % static_cast<unsigned>(options_.malformedEvery) == 0) {
          text += MalformedText(random_);
        }
        if (!Send(text)) {
          return false;
        }
        if (options_.count > 0 && ++sent_ >= options_.count) {
          line_.Drain(options_.linger, stopRequested);
          return true;
        }
      }
      if (!replay_.empty()) {
        nextReplay_ = (nextReplay_ + 1) % replay_.size();
      }
      nextCycle += cycle;
      // Fallen far behind (the machine was suspended): start afresh from now.
      if (Clock::now() - nextCycle > std::chrono::seconds(1)) {
        nextCycle = Clock::now();
      }
    }
    return true;
  }

 private:
  // The page-th page of this cycle, with the next sequence number when asked for.
  std::string PageText(std::size_t page, double seconds) {
    if (!replay_.empty()) {
      return replay_[nextReplay_][page];
    }
    std::optional<std::uint64_t> sequence;
    if (options_.sequence) {
      sequence = ++sequence_;
    }
    const SimulatedDevice& device = devices_[page];
    return MakePage(device.Address(), device.Fields(seconds, faultBySignal), sequence);
  }

  // Writes in small pieces, each when the previous one would have left the wire.
  bool Send(const std::string& text) {
    constexpr std::size_t kPiece = 16;
    nextCharacter_ = std::max(nextCharacter_, Clock::now());
    for (std::size_t at = 0; at < text.size(); at += kPiece) {
      if (options_.baud > 0 && !SleepUntil(nextCharacter_)) {
        return true;
      }
      const std::string_view piece = std::string_view(text).substr(at, kPiece);
      if (!line_.Write(piece)) {
        return false;
      }
      if (options_.baud > 0) {
        nextCharacter_ += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
            10.0 * static_cast<double>(piece.size()) / static_cast<double>(options_.baud)));
      }
    }
    return true;
  }

  const SimOptions& options_;
  SimLine& line_;
  std::vector<SimulatedDevice> devices_;
  std::mt19937 random_;
  std::vector<std::vector<std::string>> replay_;
  std::size_t nextReplay_ = 0;
  std::uint64_t sequence_ = 0;
  std::uint64_t sent_ = 0;
  Clock::time_point nextCharacter_;
};

bool MakeLink(const std::string& link, const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_symlink(fs::symlink_status(link, error))) {
    fs::remove(link, error);
  }
  fs::create_symlink(target, link, error);
  if (error) {
    std::fprintf(stderr, "mate-sim: cannot make link %s: %s\n", link.c_str(),
                 error.message().c_str());
    return false;
  }
  return true;
}

// Removes the link only while it still points at this simulator's terminal.
void RemoveLink(const std::string& link, const std::string& target) {
  std::error_code error;
  if (std::filesystem::read_symlink(link, error) == target && !error) {
    std::filesystem::remove(link, error);
  }
}

int Main(int argc, char** argv) {
  const ParseResult parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::fprintf(stderr, "mate-sim: %s\n%s", parsed.error.c_str(), kUsage);
    return 2;
  }
  const SimOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::vector<std::vector<std::string>> replay;
  if (!options.replayPath.empty()) {
    const auto text = ReadWholeFile(options.replayPath);
    if (!text) {
      std::fprintf(stderr, "mate-sim: cannot read %s\n", options.replayPath.c_str());
      return 1;
    }
    replay = ReplayCycles(*text);
    if (replay.empty()) {
      std::fprintf(stderr, "mate-sim: %s holds no pages\n", options.replayPath.c_str());
      return 1;
    }
  }
  InstallSignals();
  std::string error;
  auto line = options.devicePath.empty() ? SimLine::OpenPseudoTerminal(error)
                                         : SimLine::OpenDevice(options.devicePath, error);
  if (!line) {
    std::fprintf(stderr, "mate-sim: %s\n", error.c_str());
    return 1;
  }
  if (!options.linkPath.empty() && !MakeLink(options.linkPath, line->Path())) {
    return 1;
  }
  std::printf("%s\n", line->Path().c_str());
  std::fflush(stdout);

  Simulator simulator(options, *line, std::move(replay));
  const bool lineHeld = simulator.Run();
  if (!options.linkPath.empty()) {
    RemoveLink(options.linkPath, line->Path());
  }
  if (!lineHeld) {
    std::fprintf(stderr, "mate-sim: writing to %s failed\n", line->Path().c_str());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace brivane::sim

int main(int argc, char** argv) {
  return brivane::sim::Main(argc, argv);
}
