#include "bench/gateway/gateway_run.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "bench/common/clock.h"
#include "bench/common/line_pacer.h"
#include "bench/common/pseudo_line.h"
#include "bench/gateway/bench_pages.h"
#include "bench/gateway/mqtt_crowd.h"
#include "bench/gateway/settings_template.h"
#include "mate/record_framer.h"
#include "tests/support/bridge_service.h"
#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/ports.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait_for.h"

namespace brivane::bench {

namespace {

using testkit::ChildProcess;
using testkit::kPatience;

constexpr const char* kSite = "bench";

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// What the probe sees: the gateway's status and every device state, matched to the
// page it came from.
struct Probe {
  explicit Probe(const BenchPages& made) : pages(made) {}

  const BenchPages& pages;
  const LinePacer* pacer = nullptr;
  bool online = false;
  std::map<std::string, std::uint64_t> states;
  std::uint64_t unmatched = 0;
  // Only pages that went out in the window count towards latency.
  bool measuring = false;
  std::uint64_t firstPage = 0;
  std::vector<double> latencies;
  std::vector<bool> seen;  // [sequence]: a state made of that page arrived

  void Take(std::string_view topic, std::string_view payload, std::int64_t arrival) {
    if (EndsWith(topic, std::string("/") + kSite + "/status")) {
      online = payload == "online";
      return;
    }
    if (!EndsWith(topic, "/state") ||
        topic.find(std::string("/") + kSite + "/") == std::string_view::npos) {
      return;
    }
    const auto state = nlohmann::json::parse(payload, nullptr, false);
    if (!state.is_object() || !state.contains("raw") || !state["raw"].is_string()) {
      ++unmatched;
      return;
    }
    const std::uint64_t sequence = pages.SequenceOf(state["raw"].get<std::string>());
    const std::int64_t sentAt = pacer && sequence ? pacer->LastByteAt(sequence) : 0;
    if (sequence == 0 || sentAt == 0) {
      ++unmatched;
      return;
    }
    ++states[state.value("device", std::string("?"))];
    if (seen.size() <= sequence) {
      seen.resize(sequence + 1);
    }
    seen[sequence] = true;
    if (measuring && sequence >= firstPage) {
      latencies.push_back(static_cast<double>(arrival - sentAt) / 1e6);
    }
  }
};

// A plain client of the service beside the gateway, noting which pages the service
// handed on: a page it never sent is the service's loss, not the gateway's.
class Witness {
 public:
  Witness(int port, const BenchPages& pages) : pages_(pages) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                    errno != EINPROGRESS)) {
      throw std::runtime_error("cannot connect to BrivaneSvc");
    }
  }
  ~Witness() { close(fd_); }
  Witness(const Witness&) = delete;
  Witness& operator=(const Witness&) = delete;

  int Fd() const { return fd_; }
  void Read() {
    char buffer[16384];
    ssize_t got = 0;
    while ((got = recv(fd_, buffer, sizeof buffer, 0)) > 0) {
      framer_.Append(std::string_view(buffer, static_cast<std::size_t>(got)));
      while (const auto record = framer_.Next()) {
        if (const std::uint64_t sequence = pages_.SequenceOf(*record)) {
          if (forwarded_.size() <= sequence) {
            forwarded_.resize(sequence + 1);
          }
          forwarded_[sequence] = true;
        }
      }
    }
  }
  bool Forwarded(std::uint64_t sequence) const {
    return sequence < forwarded_.size() && forwarded_[sequence];
  }

 private:
  const BenchPages& pages_;
  int fd_ = -1;
  mate::RecordFramer framer_;
  std::vector<bool> forwarded_;
};

// Runs step until condition holds; false after seconds.
template <typename Condition, typename Step>
bool Turn(Condition condition, Step step, double seconds) {
  const std::int64_t end = Nanoseconds(CLOCK_MONOTONIC) + static_cast<std::int64_t>(seconds * 1e9);
  while (!condition()) {
    if (Nanoseconds(CLOCK_MONOTONIC) > end) {
      return false;
    }
    step();
  }
  return true;
}

std::string Tail(const std::vector<std::string>& lines, std::size_t count, std::string text = "") {
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
    text += lines[i] + "\n";
  }
  return text;
}

}  // namespace

RunResult Run(const RunPlan& plan) {
  RunResult result;
  result.plan = plan;
  result.cpus = static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));

  testkit::TempFolder folder("brivane-gwbench");
  const RunSettings settings = ExpandSettings(plan.settingsTemplate, folder.Path().string(),
                                              [] { return testkit::FreePort(); });
  result.settings = settings.text;
  result.ports = settings.ports;
  testkit::WriteFile(folder / "gateway.ini", settings.text);

  testkit::MqttBroker broker;
  const PseudoLine line((folder / "mate").string());
  testkit::BridgeService bridge(1, {{1, line.Link()}});
  if (!bridge.Started() || !bridge.WaitForPortOpen(1, kPatience)) {
    throw std::runtime_error("BrivaneSvc did not start on " + line.Link() + ":\n" +
                             Tail(bridge.Process().StderrLines(), 20));
  }

  BenchPages pages;
  Witness witness(bridge.Port(), pages);
  Probe probe(pages);
  MqttCrowd crowd(broker.Port(), "#",
                  [&probe](std::string_view topic, std::string_view payload, std::int64_t arrival) {
                    probe.Take(topic, payload, arrival);
                  });
  crowd.Gather(plan.subscribers, 120);

  ChildProcess gateway(
      plan.gatewayProgram,
      testkit::SpawnOptions{{"--config", (folder / "gateway.ini").string(), "--bridge",
                             "127.0.0.1:" + std::to_string(bridge.Port()), "--broker",
                             "127.0.0.1:" + std::to_string(broker.Port()), "--site", kSite,
                             "--interval", std::to_string(plan.interval)},
                            {{"NOTIFY_SOCKET", std::nullopt}},
                            folder.Path()});
  const auto fail = [&](const std::string& what) {
    throw std::runtime_error(what + "; the gateway wrote:\n" + Tail(gateway.StderrLines(), 20));
  };
  if (!Turn([&] { return probe.online || !gateway.Running(); },
            [&] {
              usleep(10000);
              crowd.Pump();
            },
            kPatience.count() / 1000.0) ||
      !probe.online) {
    fail("the gateway did not come online");
  }

  std::unique_ptr<ChildProcess> companion;
  if (!plan.companion.empty()) {
    std::map<std::string, std::optional<std::string>> environment{
        {"BENCH_FOLDER", folder.Path().string()}};
    for (const auto& [name, port] : settings.ports) {
      environment["BENCH_PORT_" + name] = std::to_string(port);
    }
    // A group of its own, so that what the companion starts (clients in the
    // background) stops with it.
    companion = std::make_unique<ChildProcess>(
        "/bin/sh", testkit::SpawnOptions{{"-c", plan.companion}, environment, folder.Path(), true});
  }

  // The line and the subscribers share one loop, woken every millisecond to keep pace.
  const int poll = epoll_create1(EPOLL_CLOEXEC);
  const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  itimerspec period{};
  period.it_interval.tv_nsec = 1000000;
  period.it_value.tv_nsec = 1000000;
  timerfd_settime(timer, 0, &period, nullptr);
  for (const int fd : {timer, crowd.Fd(), witness.Fd()}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    epoll_ctl(poll, EPOLL_CTL_ADD, fd, &event);
  }
  LinePacer pacer(
      line.Master(), [&pages](std::uint64_t sequence) { return pages.Make(sequence); },
      Nanoseconds(CLOCK_MONOTONIC));
  probe.pacer = &pacer;
  const auto step = [&] {
    epoll_event events[3];
    const int ready = epoll_wait(poll, events, 3, 100);
    for (int e = 0; e < ready; ++e) {
      if (events[e].data.fd == timer) {
        std::uint64_t expirations = 0;
        (void)!read(timer, &expirations, sizeof expirations);
      } else if (events[e].data.fd == witness.Fd()) {
        witness.Read();
      }
    }
    pacer.Pump(Nanoseconds(CLOCK_MONOTONIC), true);
    crowd.Pump();
  };

  const std::int64_t warmEnd =
      Nanoseconds(CLOCK_MONOTONIC) + static_cast<std::int64_t>(plan.warmUp * 1e9);
  if (!Turn(
          [&] {
            return Nanoseconds(CLOCK_MONOTONIC) >= warmEnd &&
                   probe.states.size() >= static_cast<std::size_t>(BenchPages::kDevices);
          },
          step, plan.warmUp + kPatience.count() / 1000.0)) {
    fail("not every device's state arrived");
  }

  const pid_t gatewayPid = gateway.Pid();
  const pid_t servicePid = bridge.Process().Pid();
  const pid_t brokerPid = broker.Pid();
  const ProcessFigures gatewayBefore = ReadProcessFigures(gatewayPid);
  const ProcessFigures serviceBefore = ReadProcessFigures(servicePid);
  const ProcessFigures brokerBefore = ReadProcessFigures(brokerPid);
  const double benchBefore = OwnCpuSeconds();
  result.loadBefore = ReadLoadAverage();
  const MachineTicks ticksBefore = ReadMachineTicks();
  const std::vector<std::uint64_t> receivedBefore = crowd.Received();
  const std::uint64_t pagesBefore = pacer.RecordsSent();
  probe.states.clear();
  probe.unmatched = 0;
  probe.measuring = true;
  probe.firstPage = pacer.RecordsBegun() + 1;
  const std::int64_t start = Nanoseconds(CLOCK_MONOTONIC);
  const std::int64_t end = start + static_cast<std::int64_t>(plan.seconds * 1e9);

  while (Nanoseconds(CLOCK_MONOTONIC) < end) {
    step();
  }

  result.gateway = CostBetween(gatewayBefore, ReadProcessFigures(gatewayPid));
  result.service = CostBetween(serviceBefore, ReadProcessFigures(servicePid));
  result.broker = CostBetween(brokerBefore, ReadProcessFigures(brokerPid));
  result.benchCpuSeconds = OwnCpuSeconds() - benchBefore;
  result.seconds = static_cast<double>(Nanoseconds(CLOCK_MONOTONIC) - start) / 1e9;
  result.machineBusy = BusyShare(ticksBefore, ReadMachineTicks());
  result.loadAfter = ReadLoadAverage();
  result.pagesSent = pacer.RecordsSent() - pagesBefore;
  result.statesPerDevice = probe.states;
  result.statesUnmatched = probe.unmatched;
  result.latencyMs = Summarise(probe.latencies);
  // Pages that had time to come through and did not: those the service never handed
  // on, and (with interval 0, where every page is published) those lost after it.
  const std::int64_t settled = Nanoseconds(CLOCK_REALTIME) - 2000000000;
  for (std::uint64_t page = probe.firstPage; page <= pacer.RecordsSent(); ++page) {
    const std::int64_t sentAt = pacer.LastByteAt(page);
    if (sentAt == 0 || sentAt >= settled) {
      continue;
    }
    ++result.pagesSettled;
    if (!witness.Forwarded(page)) {
      ++result.pagesDroppedByService;
    } else if (page >= probe.seen.size() || !probe.seen[page]) {
      if (result.pagesWithoutState++ < 20) {
        result.firstPagesWithoutState.push_back(page);
      }
    }
  }
  const std::vector<std::uint64_t> receivedAfter = crowd.Received();
  for (std::size_t i = 0; i < receivedAfter.size(); ++i) {
    result.receivedPerSubscriber.push_back(receivedAfter[i] - receivedBefore[i]);
  }
  result.subscribersClosed = crowd.Closed();
  close(timer);
  close(poll);

  if (companion) {
    companion->SignalGroup(SIGKILL);
    companion.reset();
  }
  gateway.Signal(SIGTERM);
  result.gatewayExit = gateway.WaitForExit(kPatience).value_or(-1);
  result.gatewayLog = gateway.StderrLines();
  return result;
}

}  // namespace brivane::bench
