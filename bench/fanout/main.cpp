// Fan-out benchmark: writes sequence-numbered MATE records to a pseudo-terminal at the
// 19200-baud line rate, lets a bridge program forward them to N loopback TCP clients,
// and measures what every client received and what the bridge spent. Targets run one
// after the other under the same load; the first two are printed side by side.
//
//   fanout [--clients N] [--seconds D] [--drain S] [--json PATH] [--pin]
//          [--spreads PREFIX] --target NAME,LINK,PORT,COMMAND [--target ...]
//
// --pin puts the bridge on the first CPU and the clients on the last one, so that the
// clients' wake-ups on loopback do not preempt the bridge in the middle of its fan-out
// (on a real network the clients run elsewhere).
//
// LINK is made a symbolic link to the pseudo-terminal before COMMAND (run by /bin/sh,
// which must exec the bridge so that its process is measured) starts; the bridge is expected to
// read LINK and listen on PORT of 127.0.0.1.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/common/clock.h"
#include "bench/common/line_pacer.h"
#include "bench/common/process_figures.h"
#include "bench/common/pseudo_line.h"
#include "bench/common/stamped_receive.h"
#include "bench/fanout/record_stream.h"
#include "bench/fanout/target_result.h"

namespace brivane::bench {
namespace {

struct Target {
  std::string name;
  std::string link;
  int port = 0;
  std::string command;
};

struct Options {
  int clients = 100;
  double seconds = 60;
  double drain = 3;
  std::string json;
  std::string log = "/dev/null";
  std::string spreads;  // a file per target: each record's spread, to study the tail
  bool pin = false;
  std::vector<Target> targets;
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "fanout: %s\n", what.c_str());
  std::exit(1);
}

bool Parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--pin") {
      options.pin = true;
      continue;
    }
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (!value) {
      return false;
    }
    ++i;
    if (word == "--clients") {
      options.clients = std::atoi(value);
    } else if (word == "--seconds") {
      options.seconds = std::atof(value);
    } else if (word == "--drain") {
      options.drain = std::atof(value);
    } else if (word == "--json") {
      options.json = value;
    } else if (word == "--log") {
      options.log = value;
    } else if (word == "--spreads") {
      options.spreads = value;
    } else if (word == "--target") {
      const std::string text = value;
      const auto a = text.find(',');
      const auto b = a == std::string::npos ? a : text.find(',', a + 1);
      const auto c = b == std::string::npos ? b : text.find(',', b + 1);
      if (c == std::string::npos) {
        return false;
      }
      options.targets.push_back(Target{text.substr(0, a), text.substr(a + 1, b - a - 1),
                                       std::atoi(text.substr(b + 1, c - b - 1).c_str()),
                                       text.substr(c + 1)});
    } else {
      return false;
    }
  }
  return options.clients > 0 && options.seconds > 0 && !options.targets.empty();
}

void PinTo(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  sched_setaffinity(0, sizeof set, &set);
}

pid_t Launch(const std::string& command, const std::string& log, bool pin) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (pin) {
      PinTo(0);
    }
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whether the bridge takes a connection. The probe ends it the polite way, reading what
// it was sent until the bridge hangs up: a connection dropped with data unread is reset,
// and a bridge may keep the slot of a reset connection until its next broadcast.
bool Probe(int port) {
  const int fd = Connect(port);
  if (fd < 0) {
    return false;
  }
  shutdown(fd, SHUT_WR);
  timeval wait{2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  char discard[512];
  while (recv(fd, discard, sizeof discard, 0) > 0) {
  }
  close(fd);
  return true;
}

template <typename Condition>
bool WaitUntil(Condition condition, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct Client {
  int fd = -1;
  bool closed = false;
  ReceivedRecords records;
};

TargetResult RunTarget(const Target& target, const Options& options) {
  TargetResult result;
  result.name = target.name;
  result.clients = options.clients;
  result.seconds = options.seconds;
  result.pinned = options.pin;

  const PseudoLine line(target.link);
  const pid_t pid = Launch(target.command, options.log, options.pin);
  if (!WaitUntil([&] { return Probe(target.port); }, 20)) {
    kill(pid, SIGKILL);
    Fail(target.name + " does not listen on port " + std::to_string(target.port));
  }
  // Let the probe connection's close settle before counting descriptors.
  WaitUntil([] { return false; }, 0.3);
  result.before = ReadProcessFigures(pid);
  const int descriptorsBefore = OpenDescriptors(pid);

  std::vector<Client> clients(static_cast<std::size_t>(options.clients));
  const int poll = epoll_create1(EPOLL_CLOEXEC);
  for (std::size_t i = 0; i < clients.size(); ++i) {
    clients[i].fd = Connect(target.port);
    if (clients[i].fd < 0) {
      Fail("client " + std::to_string(i) + " cannot connect");
    }
    const int on = 1;
    setsockopt(clients[i].fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    fcntl(clients[i].fd, F_SETFL, fcntl(clients[i].fd, F_GETFL) | O_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = i;
    epoll_ctl(poll, EPOLL_CTL_ADD, clients[i].fd, &event);
  }
  // Every client taken in and the line open before the first record.
  if (!WaitUntil([&] { return OpenDescriptors(pid) >= descriptorsBefore + options.clients; }, 20)) {
    std::fprintf(stderr, "fanout: %s took fewer than %d clients\n", target.name.c_str(),
                 options.clients);
  }
  if (!WaitUntil([&] { return HoldsFile(pid, line.Path().c_str()); }, 20)) {
    kill(pid, SIGKILL);
    Fail(target.name + " never opened " + line.Path());
  }

  const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  itimerspec period{};
  period.it_interval.tv_nsec = 1000000;
  period.it_value.tv_nsec = 1000000;
  timerfd_settime(timer, 0, &period, nullptr);
  epoll_event timerEvent{};
  timerEvent.events = EPOLLIN;
  timerEvent.data.u64 = clients.size();
  epoll_ctl(poll, EPOLL_CTL_ADD, timer, &timerEvent);

  std::vector<std::int64_t> firstArrival{0}, lastArrival{0};
  std::vector<int> arrivals{0};
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(options.clients * options.seconds * 40));

  const std::int64_t start = Nanoseconds(CLOCK_MONOTONIC);
  LinePacer pacer(line.Master(), MakeRecord, start);
  const std::int64_t loadEnd = start + static_cast<std::int64_t>(options.seconds * 1e9);
  std::int64_t drainEnd = 0;
  std::vector<char> buffer(65536);
  epoll_event events[128];
  for (;;) {
    const int ready = epoll_wait(poll, events, 128, 100);
    const std::int64_t now = Nanoseconds(CLOCK_MONOTONIC);
    for (int e = 0; e < ready; ++e) {
      const std::size_t index = events[e].data.u64;
      if (index == clients.size()) {
        std::uint64_t expirations = 0;
        (void)!read(timer, &expirations, sizeof expirations);
        pacer.Pump(now, now < loadEnd);
        result.recordsSent = pacer.RecordsSent();
        const std::size_t begun = pacer.RecordsBegun() + 1;
        firstArrival.resize(begun);
        lastArrival.resize(begun);
        arrivals.resize(begun);
        continue;
      }
      Client& client = clients[index];
      for (;;) {
        const StampedRead read = ReceiveStamped(client.fd, buffer);
        const ssize_t got = read.got;
        const std::int64_t arrival = read.arrival;
        if (got <= 0) {
          if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            client.closed = true;
            epoll_ctl(poll, EPOLL_CTL_DEL, client.fd, nullptr);
          }
          break;
        }
        client.records.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)),
                            [&](std::uint64_t sequence) {
                              if (sequence == 0 || sequence >= arrivals.size()) {
                                return;
                              }
                              if (arrivals[sequence]++ == 0) {
                                firstArrival[sequence] = arrival;
                              }
                              firstArrival[sequence] = std::min(firstArrival[sequence], arrival);
                              lastArrival[sequence] = std::max(lastArrival[sequence], arrival);
                              if (const std::int64_t sentAt = pacer.LastByteAt(sequence);
                                  sentAt != 0) {
                                latencies.push_back(static_cast<double>(arrival - sentAt) / 1e6);
                              }
                            });
      }
    }
    if (drainEnd == 0 && now >= loadEnd && pacer.Drained()) {
      drainEnd = now + static_cast<std::int64_t>(options.drain * 1e9);
    }
    if (drainEnd != 0 && now >= drainEnd) {
      break;
    }
  }
  result.after = ReadProcessFigures(pid);

  std::vector<double> spreads;
  for (std::size_t s = 1; s < arrivals.size(); ++s) {
    if (arrivals[s] >= 2) {
      spreads.push_back(static_cast<double>(lastArrival[s] - firstArrival[s]) / 1e6);
    }
  }
  if (!options.spreads.empty()) {
    // sequence, spread in microseconds, first arrival (CLOCK_REALTIME ns)
    std::ofstream out(options.spreads + "." + target.name);
    for (std::size_t s = 1; s < arrivals.size(); ++s) {
      out << s << ' ' << (lastArrival[s] - firstArrival[s]) / 1000 << ' ' << firstArrival[s]
          << '\n';
    }
  }
  result.fanOutMs = Summarise(spreads);
  result.latencyMs = Summarise(latencies);
  for (Client& client : clients) {
    result.receivedPerClient.push_back(client.records.Received());
    result.lost += client.records.Lost(result.recordsSent);
    result.outOfOrder += client.records.OutOfOrder();
    result.duplicates += client.records.Duplicates();
    result.clientsClosed += client.closed ? 1 : 0;
    close(client.fd);
  }
  close(timer);
  close(poll);

  kill(pid, SIGTERM);
  if (!WaitUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  return result;
}

}  // namespace
}  // namespace brivane::bench

int main(int argc, char** argv) {
  using namespace brivane::bench;
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: fanout [--clients N] [--seconds D] [--drain S] [--json PATH] "
                 "[--log PATH] [--pin] [--spreads PREFIX] --target NAME,LINK,PORT,COMMAND ...\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  options.pin = options.pin && cpus > 1;
  if (options.pin) {
    PinTo(static_cast<int>(cpus) - 1);
  }
  std::vector<TargetResult> results;
  for (const Target& target : options.targets) {
    std::fprintf(stderr, "fanout: %s, %d clients, %.0f s\n", target.name.c_str(), options.clients,
                 options.seconds);
    try {
      results.push_back(RunTarget(target, options));
    } catch (const std::exception& error) {
      Fail(error.what());
    }
  }
  if (results.size() >= 2) {
    PrintTable(results[0], results[1]);
  }
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  const std::string json = Json(results, when);
  if (!options.json.empty()) {
    std::ofstream(options.json) << json;
  }
  if (results.size() < 2) {
    std::fputs(json.c_str(), stdout);
  }
  bool clean = true;
  for (const TargetResult& result : results) {
    clean = clean && result.lost == 0 && result.outOfOrder == 0 && result.recordsSent > 0;
  }
  return clean ? 0 : 1;
}
