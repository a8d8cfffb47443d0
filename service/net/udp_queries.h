#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "common/network_info.h"
#include "common/udp_wire.h"
#include "service/base/service_types.h"
#include "service/net/datagram_io.h"
#include "service/net/discovery_memory.h"
#include "service/net/lifetime_guard.h"
#include "service/net/pending_requests.h"
#include "service/net/socket_error.h"

namespace brivane {

// oUDP: takes discovery and status queries as they arrive and answers the waiting ones
// at each reply step, each reply built from the values of that moment.
class UdpQueries {
 public:
  using StatusSource = std::function<StatusValues()>;  // serviceAddress left empty: filled here

  UdpQueries(asio::io_context& io, StatusSource source, SecondsClock clock = SystemClockSeconds,
             AddressTableReader addresses = ReadAddressTable);
  ~UdpQueries();
  UdpQueries(const UdpQueries&) = delete;
  UdpQueries& operator=(const UdpQueries&) = delete;

  std::optional<SocketError> Bind(const std::string& address, std::uint16_t port);  // "" = all
  void Close();
  void ReplyStep();  // run by the buffer timer after the receive step
  std::uint16_t LocalPort() const;
  // Datagrams taken off the socket so far, whatever they held: lets a caller know that
  // what it sent has been looked at.
  std::uint64_t DatagramsRead() const { return datagramsRead_; }

 private:
  void WaitForDatagrams();
  void ReadWaitingDatagrams();
  void OnDatagram(const ReceivedDatagram& datagram);

  asio::ip::udp::socket socket_;
  StatusSource source_;
  SecondsClock clock_;
  AddressTableReader addresses_;
  PendingRequests pending_;
  DiscoveryMemory discovery_;
  std::vector<char> receiveBuffer_;
  std::uint64_t datagramsRead_ = 0;
  LifetimeGuard guard_;
};

}  // namespace brivane
