#include "service/net/udp_queries.h"

#include <utility>

#include "service/net/service_address.h"

namespace brivane {
namespace {

// A flood of datagrams must not hold the loop: after this many, other handlers run first.
constexpr int kDatagramsPerWakeUp = 64;

}  // namespace

UdpQueries::UdpQueries(asio::io_context& io, StatusSource source, SecondsClock clock,
                       AddressTableReader addresses)
    : socket_(io),
      source_(std::move(source)),
      clock_(std::move(clock)),
      addresses_(std::move(addresses)) {}

UdpQueries::~UdpQueries() {
  Close();
}

std::optional<SocketError> UdpQueries::Bind(const std::string& address, std::uint16_t port) {
  asio::error_code error;
  const asio::ip::address_v4 local = BindAddress(address, error);
  if (error) {
    return MakeSocketError(error);
  }
  asio::error_code ignored;
  socket_.close(ignored);
  // No SO_REUSEADDR: a second service on the same port must fail here.
  socket_.open(asio::ip::udp::v4(), error);
  if (!error) {
    socket_.bind(asio::ip::udp::endpoint(local, port), error);
  }
  if (!error) {
    error = EnableArrivalAddress(socket_);
  }
  if (!error) {
    // Broadcast requests are answered like any other.
    socket_.set_option(asio::socket_base::broadcast(true), error);
  }
  if (error) {
    socket_.close(ignored);
    return MakeSocketError(error);
  }
  WaitForDatagrams();
  return std::nullopt;
}

void UdpQueries::Close() {
  asio::error_code ignored;
  socket_.close(ignored);
}

std::uint16_t UdpQueries::LocalPort() const {
  asio::error_code error;
  const auto local = socket_.local_endpoint(error);
  return error ? 0 : local.port();
}

void UdpQueries::ReplyStep() {
  for (const PendingRequest& request : pending_.TakeAll()) {
    if (!socket_.is_open()) {
      continue;
    }
    StatusValues values = source_ ? source_() : StatusValues{};
    values.serviceAddress = ChooseServiceAddress(request.localAddress, addresses_);
    const std::string reply = request.kind == RequestKind::Discovery ? BuildDiscoveryReply(values)
                                                                     : BuildStatusReply(values);
    // A reply that cannot be sent is not retried.
    SendDatagram(socket_, reply, request.senderAddress, request.senderPort, request.localAddress);
  }
}

void UdpQueries::WaitForDatagrams() {
  socket_.async_wait(asio::socket_base::wait_read,
                     guard_.Guard([this](const asio::error_code& error) {
                       if (error == asio::error::operation_aborted || !socket_.is_open()) {
                         return;
                       }
                       ReadWaitingDatagrams();
                     }));
}

void UdpQueries::ReadWaitingDatagrams() {
  for (int count = 0; count < kDatagramsPerWakeUp; ++count) {
    asio::error_code error;
    const std::optional<ReceivedDatagram> datagram =
        ReceiveDatagram(socket_, receiveBuffer_, error);
    if (error == asio::error::would_block) {
      break;
    }
    // Other socket errors (an ICMP refusal of an earlier reply) raise no action.
    if (datagram) {
      ++datagramsRead_;
      OnDatagram(*datagram);
    }
  }
  WaitForDatagrams();
}

void UdpQueries::OnDatagram(const ReceivedDatagram& datagram) {
  PendingRequest request;
  request.senderAddress = datagram.senderAddress;
  request.senderPort = datagram.senderPort;
  request.localAddress = datagram.localAddress;
  if (datagram.payload == kDiscoveryRequest) {
    if (!discovery_.Admit(datagram.senderAddress, clock_())) {
      return;
    }
    request.kind = RequestKind::Discovery;
  } else if (datagram.payload == kStatusRequest) {
    request.kind = RequestKind::Status;
  } else {
    return;
  }
  pending_.Add(std::move(request));
}

}  // namespace brivane
