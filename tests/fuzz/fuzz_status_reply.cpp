// The status reply on the console's side: any datagram through ParseStatusReply and
// the window's reading of it, and the round trip BuildStatusReply -> ParseStatusReply
// with values taken from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/number_text.h"
#include "common/udp_wire.h"
#include "common/version.h"
#include "console/status_display.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// A plain model of the console's acceptance: LF "SVC" head, CR tail, ten fields.
std::optional<std::vector<std::string>> ModelParse(std::string_view datagram) {
  if (datagram.size() <= 3 || datagram.substr(0, 4) != "\nSVC" || datagram.back() != '\r') {
    return std::nullopt;
  }
  const std::string_view body = datagram.substr(1, datagram.size() - 2);
  std::vector<std::string> fields(1);
  for (char c : body) {
    if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (fields.size() != 10) {
    return std::nullopt;
  }
  return fields;
}

bool IsDecimal(std::string_view text) {
  if (!text.empty() && text.front() == '-') {
    text.remove_prefix(1);
  }
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

void CheckDisplay(std::string_view datagram) {
  const auto fields = brivane::ParseStatusReply(datagram);
  const auto model = ModelParse(datagram);
  FUZZ_REQUIRE(fields.has_value() == model.has_value());
  const auto display = brivane::ReadStatusDisplay(datagram);
  if (!fields) {
    FUZZ_REQUIRE(!display);
    return;
  }
  FUZZ_REQUIRE(*fields == *model);
  const auto& f = *fields;
  const bool numbers = IsDecimal(f[3]) && IsDecimal(f[4]) && IsDecimal(f[5]) && IsDecimal(f[6]);
  FUZZ_REQUIRE(display.has_value() == numbers);
  if (!display) {
    return;
  }
  const bool automatic = brivane::NumericValue(f[6]) == 0;
  FUZZ_REQUIRE(display->comPort == (automatic ? "Auto (" + f[7] + ")" : "COM" + f[6]));
  FUZZ_REQUIRE(display->listeningPort == f[2]);
  FUZZ_REQUIRE(display->tcpConnections == f[9]);
  FUZZ_REQUIRE(display->inverterSeen == (brivane::NumericValue(f[3]) > 0));
  FUZZ_REQUIRE(display->mxSeen == (brivane::NumericValue(f[4]) > 0));
  FUZZ_REQUIRE(display->fndcSeen == (brivane::NumericValue(f[5]) > 0));
  const std::string version = f[0].size() > 4 ? f[0].substr(4) : std::string();
  FUZZ_REQUIRE(display->versionPanel == "Brivane Pro v" + version + " ");
}

// Values as a service could send them, and some no service would.
brivane::StatusValues ValuesFrom(FuzzedDataProvider& in) {
  brivane::StatusValues values;
  if (in.ConsumeBool()) {
    const std::uint32_t raw = in.ConsumeIntegral<std::uint32_t>();
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &raw, text, sizeof text);
    values.serviceAddress = text;
  } else {
    values.serviceAddress = in.ConsumeRandomLengthString(24);
  }
  values.tcpPort = in.ConsumeIntegral<int>();
  values.equipment.FXCount = in.ConsumeIntegral<std::int32_t>();
  values.equipment.MXCount = in.ConsumeIntegral<std::int32_t>();
  values.equipment.FNDCDetected = in.ConsumeBool();
  values.COMPort = in.ConsumeIntegral<std::int32_t>();
  values.CommPort = in.ConsumeIntegral<int>();
  values.PortOpen = in.ConsumeBool();
  values.TCPConnectionCount = in.ConsumeIntegral<std::int32_t>();
  return values;
}

void CheckRoundTrip(const brivane::StatusValues& values) {
  const std::string reply = brivane::BuildStatusReply(values);
  CheckDisplay(reply);
  const auto fields = brivane::ParseStatusReply(reply);
  // A comma in the address makes more fields: then the console must refuse the reply.
  if (values.serviceAddress.find(',') != std::string::npos) {
    FUZZ_REQUIRE(!fields);
    return;
  }
  FUZZ_REQUIRE(fields.has_value());
  const std::vector<std::string> expected = {"SVCL" + std::string(brivane::kVersionText),
                                             values.serviceAddress,
                                             std::to_string(values.tcpPort),
                                             std::to_string(values.equipment.FXCount),
                                             std::to_string(values.equipment.MXCount),
                                             values.equipment.FNDCDetected ? "1" : "0",
                                             std::to_string(values.COMPort),
                                             std::to_string(values.CommPort),
                                             values.PortOpen ? "True" : "False",
                                             std::to_string(values.TCPConnectionCount)};
  FUZZ_REQUIRE(*fields == expected);

  const auto display = brivane::ReadStatusDisplay(reply);
  FUZZ_REQUIRE(display.has_value());
  FUZZ_REQUIRE(display->comPort == (values.COMPort != 0 ? "COM" + std::to_string(values.COMPort)
                                                        : "Auto (" + expected[7] + ")"));
  FUZZ_REQUIRE(display->inverterSeen == (values.equipment.FXCount > 0));
  FUZZ_REQUIRE(display->mxSeen == (values.equipment.MXCount > 0));
  FUZZ_REQUIRE(display->fndcSeen == values.equipment.FNDCDetected);
  FUZZ_REQUIRE(display->versionPanel == "Brivane Pro v" + std::string(brivane::kVersionText) + " ");

  // The discovery reply: LF "TCP" and the version, six fields, CR.
  const std::string discovery = brivane::BuildDiscoveryReply(values);
  FUZZ_REQUIRE(discovery.starts_with("\nTCP" + std::string(brivane::kVersionText) + ","));
  FUZZ_REQUIRE(discovery.back() == '\r');
  FUZZ_REQUIRE(std::count(discovery.begin(), discovery.end(), ',') == 5);
  // A discovery reply is never taken for a status reply.
  FUZZ_REQUIRE(!brivane::ParseStatusReply(discovery));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckDisplay(std::string_view(reinterpret_cast<const char*>(data), size));
  FuzzedDataProvider in(data, size);
  CheckRoundTrip(ValuesFrom(in));
  return 0;
}
