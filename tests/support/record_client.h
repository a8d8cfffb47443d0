#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brivane::testkit {

// A TCP client of the bridge that checks the stream byte for byte: one greeting line
// ending in CR LF, then records, each LF, record text, CR. Every wait is bounded.
class RecordClient {
 public:
  explicit RecordClient(std::uint16_t port);
  ~RecordClient();
  RecordClient(const RecordClient&) = delete;
  RecordClient& operator=(const RecordClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  bool Send(std::string_view data);

  // The greeting without its CR LF; nothing when it did not come in time or was not
  // the first thing on the stream.
  std::optional<std::string> Greeting(std::chrono::milliseconds timeout);
  // The next record's text without LF and CR; nothing when none came in time. Bytes
  // outside the LF ... CR framing end the stream's good standing (Framed()).
  std::optional<std::string> Record(std::chrono::milliseconds timeout);
  bool Framed() const { return framed_; }
  // What is left unread (for failure messages).
  const std::string& Unread() const { return received_; }

  // True when the service closed the connection (or reset it) within timeout.
  bool WaitForClose(std::chrono::milliseconds timeout);

 private:
  bool Fill(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  bool closed_ = false;
  bool framed_ = true;
  std::string received_;
};

// A UDP socket on loopback with a port of the kernel's choice, as the console or a
// client program asks from.
class QueryClient {
 public:
  QueryClient();
  ~QueryClient();
  QueryClient(const QueryClient&) = delete;
  QueryClient& operator=(const QueryClient&) = delete;

  bool Send(std::uint16_t port, std::string_view datagram);
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

// The ten fields of the service's status reply, asked from a socket of its own.
std::optional<std::vector<std::string>> QueryStatus(std::uint16_t udpPort,
                                                    std::chrono::milliseconds timeout);

}  // namespace brivane::testkit
