#include "tests/support/client_crowd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "tests/support/wait_for.h"

namespace brivane::testkit {

ClientCrowd::ClientCrowd(std::uint16_t port, int count, Options options)
    : clients_(static_cast<std::size_t>(count)), options_(options) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (Client& client : clients_) {
    client.fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!client.fd) {
      client.closed = true;
      continue;
    }
    if (options_.receiveBuffer > 0) {
      ::setsockopt(client.fd.get(), SOL_SOCKET, SO_RCVBUF, &options_.receiveBuffer,
                   sizeof options_.receiveBuffer);
    }
    if (::connect(client.fd.get(), reinterpret_cast<const sockaddr*>(&target), sizeof target) !=
            0 &&
        errno != EINPROGRESS) {
      client.closed = true;
    }
  }
}

ClientCrowd::~ClientCrowd() {
  CloseAll();
}

int ClientCrowd::Started() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [](const Client& client) {
    return static_cast<bool>(client.fd);
  }));
}

void ClientCrowd::Pump(std::chrono::milliseconds timeout) {
  if (!options_.reading) {
    return;
  }
  std::vector<pollfd> waiting;
  std::vector<std::size_t> owners;
  for (std::size_t i = 0; i < clients_.size(); ++i) {
    if (clients_[i].fd && !clients_[i].closed) {
      waiting.push_back(pollfd{clients_[i].fd.get(), POLLIN, 0});
      owners.push_back(i);
    }
  }
  if (waiting.empty() ||
      ::poll(waiting.data(), waiting.size(), static_cast<int>(timeout.count())) <= 0) {
    return;
  }
  char buffer[16384];
  for (std::size_t w = 0; w < waiting.size(); ++w) {
    if (waiting[w].revents == 0) {
      continue;
    }
    Client& client = clients_[owners[w]];
    for (;;) {
      const ssize_t got = ::recv(client.fd.get(), buffer, sizeof buffer, 0);
      if (got > 0) {
        const std::string bytes(buffer, static_cast<std::size_t>(got));
        client.received += bytes;
        if (onBytes) {
          onBytes(static_cast<int>(owners[w]), bytes);
        }
        continue;
      }
      if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        client.closed = true;
      }
      break;
    }
  }
}

bool ClientCrowd::PumpUntil(const std::function<bool()>& condition,
                            std::chrono::milliseconds timeout) {
  return WaitFor(condition, timeout, std::chrono::milliseconds(20),
                 [this](std::chrono::milliseconds slice) {
                   Pump(slice);
                   if (!options_.reading) {
                     std::this_thread::sleep_for(slice);
                   }
                 });
}

int ClientCrowd::Greeted() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(), [](const Client& client) {
    return client.received.find("\r\n") != std::string::npos;
  }));
}

int ClientCrowd::Closed() const {
  return static_cast<int>(std::count_if(clients_.begin(), clients_.end(),
                                        [](const Client& client) { return client.closed; }));
}

void ClientCrowd::CloseAll() {
  for (Client& client : clients_) {
    client.fd.reset();
    client.closed = true;
  }
}

}  // namespace brivane::testkit
