#include "console/status_display.h"

#include <algorithm>
#include <cctype>

#include "common/number_text.h"
#include "common/udp_wire.h"

namespace brivane {
namespace {

constexpr std::string_view kVersionPrefix = "Brivane Pro v";
constexpr std::size_t kVersionStart = 4;  // behind "SVCL"

// Decimal digits with an optional minus sign: all the service ever sends in these fields.
bool IsDecimalNumber(std::string_view text) {
  if (text.starts_with('-')) {
    text.remove_prefix(1);
  }
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::optional<StatusDisplay> ReadStatusDisplay(std::string_view datagram) {
  const auto fields = ParseStatusReply(datagram);
  if (!fields) {
    return std::nullopt;
  }
  const auto& f = *fields;
  for (int i : {3, 4, 5, 6}) {
    if (!IsDecimalNumber(f[i])) {
      return std::nullopt;
    }
  }
  StatusDisplay display;
  display.comPort = NumericValue(f[6]) != 0 ? "COM" + f[6] : "Auto (" + f[7] + ")";
  display.versionPanel = std::string(kVersionPrefix);
  if (f[0].size() > kVersionStart) {
    display.versionPanel += f[0].substr(kVersionStart);
  }
  display.versionPanel += ' ';
  display.listeningPort = f[2];
  display.tcpConnections = f[9];
  display.inverterSeen = NumericValue(f[3]) > 0;
  display.mxSeen = NumericValue(f[4]) > 0;
  display.fndcSeen = NumericValue(f[5]) > 0;
  return display;
}

}  // namespace brivane
