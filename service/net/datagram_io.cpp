#include "service/net/datagram_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace brivane {
namespace {

// Largest UDP payload over IPv4, so every datagram is read whole.
constexpr std::size_t kLargestDatagram = 65536;

asio::error_code LastError() {
  return asio::error_code(errno, asio::system_category());
}

std::string DottedText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr) {
    return {};
  }
  return text;
}

}  // namespace

asio::error_code EnableArrivalAddress(asio::ip::udp::socket& socket) {
  const int on = 1;
  if (setsockopt(socket.native_handle(), IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
    return LastError();
  }
  return {};
}

std::optional<ReceivedDatagram> ReceiveDatagram(asio::ip::udp::socket& socket,
                                                std::vector<char>& buffer,
                                                asio::error_code& error) {
  error.clear();
  buffer.resize(kLargestDatagram);
  sockaddr_in sender{};
  iovec part{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr message{};
  message.msg_name = &sender;
  message.msg_namelen = sizeof sender;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;

  const ssize_t length = recvmsg(socket.native_handle(), &message, MSG_DONTWAIT);
  if (length < 0) {
    error = (errno == EAGAIN || errno == EWOULDBLOCK) ? asio::error::would_block : LastError();
    return std::nullopt;
  }

  ReceivedDatagram datagram;
  datagram.payload.assign(buffer.data(), static_cast<std::size_t>(length));
  if (sender.sin_family == AF_INET) {
    datagram.senderAddress = DottedText(sender.sin_addr);
    datagram.senderPort = ntohs(sender.sin_port);
  }
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(header), sizeof info);
      // The local address of the interface, also for a broadcast request.
      if (info.ipi_spec_dst.s_addr != htonl(INADDR_ANY)) {
        datagram.localAddress = DottedText(info.ipi_spec_dst);
      }
    }
  }
  return datagram;
}

asio::error_code SendDatagram(asio::ip::udp::socket& socket, std::string_view payload,
                              const std::string& toAddress, std::uint16_t toPort,
                              const std::string& fromAddress) {
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_port = htons(toPort);
  if (inet_pton(AF_INET, toAddress.c_str(), &destination.sin_addr) != 1) {
    return asio::error_code(EDESTADDRREQ, asio::system_category());
  }
  iovec part{const_cast<char*>(payload.data()), payload.size()};
  msghdr message{};
  message.msg_name = &destination;
  message.msg_namelen = sizeof destination;
  message.msg_iov = &part;
  message.msg_iovlen = 1;

  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  in_pktinfo info{};
  if (!fromAddress.empty() && inet_pton(AF_INET, fromAddress.c_str(), &info.ipi_spec_dst) == 1) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof info);
    std::memcpy(CMSG_DATA(header), &info, sizeof info);
  }

  if (sendmsg(socket.native_handle(), &message, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
    return LastError();
  }
  return {};
}

}  // namespace brivane
