#include "common/udp_wire.h"

#include "common/version.h"

namespace brivane {
namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

// Fields shared by both replies, after their first field.
void AppendCommonFields(std::string& out, const StatusValues& values) {
  out += ',';
  out += values.serviceAddress;
  out += ',';
  out += std::to_string(values.tcpPort);
  out += ',';
  out += std::to_string(values.equipment.FXCount);
  out += ',';
  out += std::to_string(values.equipment.MXCount);
  out += ',';
  out += values.equipment.FNDCDetected ? '1' : '0';
}

}  // namespace

std::string BuildDiscoveryReply(const StatusValues& values) {
  std::string out(1, kLineFeed);
  out += "TCP";
  out += kVersionText;
  AppendCommonFields(out, values);
  out += kCarriageReturn;
  return out;
}

std::string BuildStatusReply(const StatusValues& values) {
  std::string out(1, kLineFeed);
  out += "SVCL";
  out += kVersionText;
  AppendCommonFields(out, values);
  out += ',';
  out += std::to_string(values.COMPort);
  out += ',';
  out += std::to_string(values.CommPort);
  out += ',';
  out += values.PortOpen ? "True" : "False";
  out += ',';
  out += std::to_string(values.TCPConnectionCount);
  out += kCarriageReturn;
  return out;
}

std::optional<std::vector<std::string>> ParseStatusReply(std::string_view datagram) {
  constexpr std::string_view kHead = "\nSVC";
  constexpr std::size_t kFieldCount = 10;
  if (datagram.size() <= 3 || !datagram.starts_with(kHead) || datagram.back() != kCarriageReturn) {
    return std::nullopt;
  }
  const std::string_view body = datagram.substr(1, datagram.size() - 2);
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = body.find(',', start);
    fields.emplace_back(body.substr(start, comma - start));
    if (comma == std::string_view::npos) {
      break;
    }
    if (fields.size() == kFieldCount) {
      return std::nullopt;  // an eleventh field follows
    }
    start = comma + 1;
  }
  if (fields.size() != kFieldCount) {
    return std::nullopt;
  }
  return fields;
}

}  // namespace brivane
