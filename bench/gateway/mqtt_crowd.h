#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "bench/gateway/mqtt_wire.h"

namespace brivane::bench {

// Subscribers of one broker in this process, each on its own connection, all behind one
// epoll descriptor. Member 0 is the probe: its messages are handed over with the time
// the kernel received them; the others' are only counted.
class MqttCrowd {
 public:
  // A probe message: topic, payload, CLOCK_REALTIME nanoseconds of its arrival.
  using OnProbe = std::function<void(std::string_view, std::string_view, std::int64_t)>;

  MqttCrowd(int port, std::string filter, OnProbe onProbe);
  ~MqttCrowd();
  MqttCrowd(const MqttCrowd&) = delete;
  MqttCrowd& operator=(const MqttCrowd&) = delete;

  // Connects count subscribers, a batch at a time so that the broker's listen queue
  // never overflows, and returns once all hold their subscription; throws
  // std::runtime_error when that takes longer than seconds.
  void Gather(int count, double seconds);

  // Readable when a member has something to read; for the caller's own epoll.
  int Fd() const { return poll_; }
  // Reads whatever has arrived, without waiting.
  void Pump();

  int Size() const { return static_cast<int>(members_.size()); }
  // PUBLISH packets each member has received so far.
  std::vector<std::uint64_t> Received() const;
  // Members whose connection the broker closed.
  int Closed() const;

 private:
  struct Member {
    int fd = -1;
    bool subscribed = false;
    bool closed = false;
    std::uint64_t received = 0;
    PacketReader reader;
  };
  void Join();
  void Read(std::size_t index);
  void Take(std::size_t index, std::string_view bytes, std::int64_t arrival);
  bool AllSubscribed() const;

  int port_;
  std::string filter_;
  OnProbe onProbe_;
  int poll_ = -1;
  std::vector<Member> members_;
  std::vector<char> buffer_;
};

}  // namespace brivane::bench
