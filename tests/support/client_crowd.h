#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/unique_fd.h"

namespace brivane::testkit {

// Many TCP clients of a service on loopback, connected all at once without waiting for
// each other, and served from one poll loop in the test's thread.
class ClientCrowd {
 public:
  struct Options {
    bool reading = true;    // false: never read, as a client that hangs
    int receiveBuffer = 0;  // SO_RCVBUF before connecting; 0 keeps the kernel's
  };

  ClientCrowd(std::uint16_t port, int count, Options options);
  ~ClientCrowd();
  ClientCrowd(const ClientCrowd&) = delete;
  ClientCrowd& operator=(const ClientCrowd&) = delete;

  // Sockets that could be created and started connecting.
  int Started() const;
  // Reads what has come on every reading client, once, waiting at most timeout for it.
  void Pump(std::chrono::milliseconds timeout);
  // Pumps until condition holds or timeout passes; true when it held.
  bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

  // Clients that received a whole line ending with CR LF (the greeting).
  int Greeted() const;
  // Clients whose connection the service closed or reset (or that never connected).
  int Closed() const;
  const std::string& Received(int client) const { return clients_[client].received; }
  // Every received byte goes to onBytes(client, bytes) as it comes, when set.
  std::function<void(int, const std::string&)> onBytes;

  void CloseAll();

 private:
  struct Client {
    UniqueFd fd;
    bool closed = false;
    std::string received;
  };
  std::vector<Client> clients_;
  Options options_;
};

}  // namespace brivane::testkit
