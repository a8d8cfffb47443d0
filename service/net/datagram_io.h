#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio.hpp>

namespace brivane {

struct ReceivedDatagram {
  std::string payload;  // whole
  std::string senderAddress;
  std::uint16_t senderPort = 0;
  std::string localAddress;  // where it arrived (IP_PKTINFO); empty when not known
};

// Asks the kernel to tell each datagram's local address of arrival.
asio::error_code EnableArrivalAddress(asio::ip::udp::socket& socket);

// One waiting datagram, whole, with its sender and arrival address. Nothing when no
// datagram waits (error would_block) or the read failed (error set).
std::optional<ReceivedDatagram> ReceiveDatagram(asio::ip::udp::socket& socket,
                                                std::vector<char>& buffer, asio::error_code& error);

// One datagram to address:port without waiting, sent from fromAddress when that is
// given, so the reply leaves from the address the request reached.
asio::error_code SendDatagram(asio::ip::udp::socket& socket, std::string_view payload,
                              const std::string& toAddress, std::uint16_t toPort,
                              const std::string& fromAddress);

}  // namespace brivane
