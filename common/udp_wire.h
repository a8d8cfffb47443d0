#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The UDP query protocol as bytes: the two request keywords, the two replies and the
// console's check of a status reply. No sockets here, so both programs link it.
namespace brivane {

// Whole payloads, compared exactly: no case folding, no trimming, no terminator.
inline constexpr std::string_view kDiscoveryRequest = "OrvaTCP";
inline constexpr std::string_view kStatusRequest = "SvcCon";

struct EquipmentSeen {
  std::int32_t FXCount = 0;
  std::int32_t MXCount = 0;
  bool FNDCDetected = false;
};

// What a reply is built from, read afresh at the moment of sending.
struct StatusValues {
  std::string serviceAddress;  // dotted decimal
  int tcpPort = 0;             // LocalPort of the TCP listener
  EquipmentSeen equipment;
  std::int32_t COMPort = 0;  // 0 = automatic detection
  int CommPort = 0;          // port selected on the serial control
  bool PortOpen = false;
  std::int32_t TCPConnectionCount = 0;
};

// LF "TCP1.0.0",addr,port,fx,mx,fndc CR
std::string BuildDiscoveryReply(const StatusValues& values);

// LF "SVCL1.0.0",addr,port,fx,mx,fndc,COMPort,CommPort,True|False,count CR
std::string BuildStatusReply(const StatusValues& values);

// The ten fields of a datagram that is a status reply (LF "SVC" head, CR tail, exactly 10
// comma-separated fields between them; field 0 is "SVCL1.0.0"); nothing otherwise.
std::optional<std::vector<std::string>> ParseStatusReply(std::string_view datagram);

}  // namespace brivane
