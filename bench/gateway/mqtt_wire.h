#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The few MQTT 3.1.1 packets a listening client needs, so that one process can hold a
// thousand subscribers at the cost of one read per burst each.
namespace brivane::bench {

// CONNECT with a clean session; a keep-alive of 0xFFFF seconds outlasts any run, so no
// PINGREQ is ever due.
std::string ConnectPacket(std::string_view clientId);
// SUBSCRIBE to one filter at QoS 0.
std::string SubscribePacket(std::uint16_t packetId, std::string_view filter);

struct Packet {
  int type = 0;  // 2 CONNACK, 3 PUBLISH, 9 SUBACK, ...
  int flags = 0;
  std::string body;  // after the fixed header
};

// PUBLISH's topic and payload, when body is a well-formed one.
struct Publish {
  std::string_view topic;
  std::string_view payload;
};
std::optional<Publish> ReadPublish(int flags, std::string_view body);

// Cuts packets out of a byte stream read in pieces of any size.
class PacketReader {
 public:
  void Append(std::string_view bytes) { pending_.append(bytes); }
  // The next complete packet; nothing while none is.
  std::optional<Packet> Next();
  // Counts the complete PUBLISH packets and drops them unread (a crowd member's way).
  std::uint64_t SkipPublishes();

 private:
  // Where the packet at position_ ends and its body starts, when all of it is there.
  bool Frame(std::size_t& bodyAt, std::size_t& end) const;

  std::string pending_;
  std::size_t position_ = 0;
};

}  // namespace brivane::bench
