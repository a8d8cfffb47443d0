#include "bench/gateway/mqtt_crowd.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "bench/common/clock.h"
#include "bench/common/stamped_receive.h"

namespace brivane::bench {

namespace {

constexpr int kBatch = 50;

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const std::string reason = std::strerror(errno);
    if (fd >= 0) {
      close(fd);
    }
    throw std::runtime_error("subscriber cannot connect to the broker: " + reason);
  }
  return fd;
}

}  // namespace

MqttCrowd::MqttCrowd(int port, std::string filter, OnProbe onProbe)
    : port_(port),
      filter_(std::move(filter)),
      onProbe_(std::move(onProbe)),
      poll_(epoll_create1(EPOLL_CLOEXEC)),
      buffer_(65536) {}

MqttCrowd::~MqttCrowd() {
  for (const Member& member : members_) {
    close(member.fd);
  }
  close(poll_);
}

void MqttCrowd::Join() {
  const std::size_t index = members_.size();
  Member member;
  member.fd = ConnectLoopback(port_);
  if (index == 0) {
    const int on = 1;
    setsockopt(member.fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  }
  const std::string hello =
      ConnectPacket("bench-" + std::to_string(getpid()) + "-" + std::to_string(index)) +
      SubscribePacket(1, filter_);
  // A fresh loopback socket takes a few hundred bytes at once.
  if (send(member.fd, hello.data(), hello.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(hello.size())) {
    close(member.fd);
    throw std::runtime_error("subscriber cannot send CONNECT");
  }
  fcntl(member.fd, F_SETFL, fcntl(member.fd, F_GETFL) | O_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = index;
  epoll_ctl(poll_, EPOLL_CTL_ADD, member.fd, &event);
  members_.push_back(std::move(member));
}

void MqttCrowd::Gather(int count, double seconds) {
  const std::int64_t end = Nanoseconds(CLOCK_MONOTONIC) + static_cast<std::int64_t>(seconds * 1e9);
  while (Size() < count || !AllSubscribed()) {
    if (AllSubscribed()) {
      for (int i = 0; i < kBatch && Size() < count; ++i) {
        Join();
      }
    }
    epoll_event events[64];
    const int ready = epoll_wait(poll_, events, 64, 50);
    for (int e = 0; e < ready; ++e) {
      Read(events[e].data.u64);
    }
    if (Closed() > 0) {
      throw std::runtime_error("the broker closed a subscriber's connection");
    }
    if (Nanoseconds(CLOCK_MONOTONIC) > end) {
      throw std::runtime_error("only " + std::to_string(Size()) + " subscribers connected in time");
    }
  }
}

void MqttCrowd::Pump() {
  epoll_event events[256];
  for (;;) {
    const int ready = epoll_wait(poll_, events, 256, 0);
    for (int e = 0; e < ready; ++e) {
      Read(events[e].data.u64);
    }
    if (ready < 256) {
      return;
    }
  }
}

void MqttCrowd::Read(std::size_t index) {
  Member& member = members_[index];
  for (;;) {
    const StampedRead read = ReceiveStamped(member.fd, buffer_);
    const ssize_t got = read.got;
    const std::int64_t arrival = read.arrival;
    if (got <= 0) {
      if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        member.closed = true;
        epoll_ctl(poll_, EPOLL_CTL_DEL, member.fd, nullptr);
      }
      return;
    }
    Take(index, std::string_view(buffer_.data(), static_cast<std::size_t>(got)), arrival);
    if (static_cast<std::size_t>(got) < buffer_.size()) {
      return;
    }
  }
}

void MqttCrowd::Take(std::size_t index, std::string_view bytes, std::int64_t arrival) {
  Member& member = members_[index];
  member.reader.Append(bytes);
  if (member.subscribed && index != 0) {
    member.received += member.reader.SkipPublishes();
    return;
  }
  while (auto packet = member.reader.Next()) {
    if (packet->type == 9) {
      member.subscribed = true;
    } else if (packet->type == 3) {
      ++member.received;
      if (index == 0) {
        if (const auto publish = ReadPublish(packet->flags, packet->body)) {
          onProbe_(publish->topic, publish->payload, arrival);
        }
      }
    }
  }
}

bool MqttCrowd::AllSubscribed() const {
  return std::all_of(members_.begin(), members_.end(),
                     [](const Member& member) { return member.subscribed; });
}

std::vector<std::uint64_t> MqttCrowd::Received() const {
  std::vector<std::uint64_t> received;
  for (const Member& member : members_) {
    received.push_back(member.received);
  }
  return received;
}

int MqttCrowd::Closed() const {
  return static_cast<int>(std::count_if(members_.begin(), members_.end(),
                                        [](const Member& member) { return member.closed; }));
}

}  // namespace brivane::bench
