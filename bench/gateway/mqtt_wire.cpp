#include "bench/gateway/mqtt_wire.h"

namespace brivane::bench {

namespace {

void AppendLength(std::string& out, std::size_t length) {
  do {
    auto byte = static_cast<unsigned char>(length % 128);
    length /= 128;
    if (length > 0) {
      byte |= 0x80;
    }
    out += static_cast<char>(byte);
  } while (length > 0);
}

void AppendText(std::string& out, std::string_view text) {
  out += static_cast<char>((text.size() >> 8) & 0xFF);
  out += static_cast<char>(text.size() & 0xFF);
  out += text;
}

std::string WithHeader(unsigned char first, const std::string& body) {
  std::string packet(1, static_cast<char>(first));
  AppendLength(packet, body.size());
  return packet + body;
}

std::uint16_t Word(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                    static_cast<unsigned char>(bytes[at + 1]));
}

}  // namespace

std::string ConnectPacket(std::string_view clientId) {
  std::string body;
  AppendText(body, "MQTT");
  body += '\x04';  // 3.1.1
  body += '\x02';  // clean session
  body += "\xFF\xFF";
  AppendText(body, clientId);
  return WithHeader(0x10, body);
}

std::string SubscribePacket(std::uint16_t packetId, std::string_view filter) {
  std::string body;
  body += static_cast<char>(packetId >> 8);
  body += static_cast<char>(packetId & 0xFF);
  AppendText(body, filter);
  body += '\x00';
  return WithHeader(0x82, body);
}

std::optional<Publish> ReadPublish(int flags, std::string_view body) {
  if (body.size() < 2) {
    return std::nullopt;
  }
  const std::size_t topicLength = Word(body, 0);
  std::size_t at = 2 + topicLength;
  if (((flags >> 1) & 3) != 0) {
    at += 2;  // packet identifier
  }
  if (at > body.size()) {
    return std::nullopt;
  }
  return Publish{body.substr(2, topicLength), body.substr(at)};
}

bool PacketReader::Frame(std::size_t& bodyAt, std::size_t& end) const {
  std::size_t length = 0;
  std::size_t at = position_ + 1;
  for (int shift = 0;; shift += 7) {
    if (at >= pending_.size() || shift > 21) {
      return false;
    }
    const auto byte = static_cast<unsigned char>(pending_[at++]);
    length += static_cast<std::size_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) {
      break;
    }
  }
  bodyAt = at;
  end = at + length;
  return end <= pending_.size();
}

std::optional<Packet> PacketReader::Next() {
  std::size_t bodyAt = 0;
  std::size_t end = 0;
  if (!Frame(bodyAt, end)) {
    pending_.erase(0, position_);
    position_ = 0;
    return std::nullopt;
  }
  const auto first = static_cast<unsigned char>(pending_[position_]);
  Packet packet{first >> 4, first & 0x0F, pending_.substr(bodyAt, end - bodyAt)};
  position_ = end;
  return packet;
}

std::uint64_t PacketReader::SkipPublishes() {
  std::uint64_t publishes = 0;
  std::size_t bodyAt = 0;
  std::size_t end = 0;
  while (Frame(bodyAt, end)) {
    if ((static_cast<unsigned char>(pending_[position_]) >> 4) == 3) {
      ++publishes;
    }
    position_ = end;
  }
  pending_.erase(0, position_);
  position_ = 0;
  return publishes;
}

}  // namespace brivane::bench
