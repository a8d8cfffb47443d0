// The console's command line with any arguments: which host and port it watches, the
// host panel's text, and the local target when no host is given.
//
// Input: the arguments, separated by NUL bytes; the console joins them with blanks.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/number_text.h"
#include "console/console_target.h"
#include "console/console_texts.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') {
    text.remove_prefix(1);
  }
  while (!text.empty() && text.back() == ' ') {
    text.remove_suffix(1);
  }
  return text;
}

// The port piece's value, seen again through the port text it was written to.
void CheckPortText(std::string_view piece, std::string_view portText) {
  const double value = brivane::NumericValue(TrimBlanks(piece));
  const double again = brivane::NumericValue(portText);
  FUZZ_REQUIRE(portText.find(' ') == std::string_view::npos);
  if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15) {
    FUZZ_REQUIRE(again == value);  // whole numbers are written exactly
  } else if (std::isfinite(value)) {
    FUZZ_REQUIRE(std::fabs(again - value) <= std::fabs(value) * 1e-14);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string arguments(reinterpret_cast<const char*>(data), size);
  for (char& c : arguments) {
    if (c == '\0') {
      c = ' ';
    }
  }

  const auto target = brivane::RemoteTargetOf(arguments);
  if (arguments.empty()) {
    FUZZ_REQUIRE(!target);
  }

  const auto colon = arguments.find(':');
  std::string_view expectedHost = arguments;
  std::string portText(brivane::kDefaultQueryPortText);
  if (colon != std::string::npos) {
    expectedHost = TrimBlanks(std::string_view(arguments).substr(0, colon));
    const std::string_view rest = std::string_view(arguments).substr(colon + 1);
    const std::string_view piece = rest.substr(0, rest.find(':'));
    if (target) {
      CheckPortText(piece, target->portText);
    }
    // A whole port number in range always names a remote target.
    const double value = brivane::NumericValue(TrimBlanks(piece));
    if (std::trunc(value) == value && value >= 1 && value <= 65535) {
      FUZZ_REQUIRE(target && target->port == value);
    }
  } else if (!arguments.empty()) {
    FUZZ_REQUIRE(target.has_value());  // a host alone is queried on port 8466
  }

  if (target) {
    FUZZ_REQUIRE(target->host == expectedHost);
    if (colon == std::string::npos) {
      FUZZ_REQUIRE(target->portText == portText);
    }
    const double value = brivane::NumericValue(target->portText);
    FUZZ_REQUIRE(value > 0 && value <= 65535);
    const auto rounded = brivane::RoundHalfEven(value);
    FUZZ_REQUIRE(rounded && *rounded >= 1 && *rounded <= 65535);
    FUZZ_REQUIRE(target->port == *rounded);
    FUZZ_REQUIRE(brivane::HostPanelText(target->host, target->portText) ==
                 "Host: " + target->host + ":" + target->portText + " ");
  }

  // The local target: a configured address is used only when it is this computer's.
  const std::vector<std::string> addresses = {"192.168.1.20", "10.0.0.7", "127.0.0.2"};
  const brivane::AddressTableReader reader = [&] {
    return std::optional<std::vector<std::string>>(addresses);
  };
  brivane::ConsoleSettings settings;
  settings.ConfiguredIPAddress = std::string(expectedHost);
  const std::string host = brivane::LocalTargetHost(settings, reader);
  const bool local = !settings.ConfiguredIPAddress.empty() &&
                     brivane::IsLocalIPAddress(settings.ConfiguredIPAddress, reader);
  FUZZ_REQUIRE(host == (local ? settings.ConfiguredIPAddress : std::string("127.0.0.1")));
  return 0;
}
