#include "console/console_target.h"

#include <charconv>
#include <cmath>

#include "common/number_text.h"

namespace brivane {
namespace {

constexpr std::string_view kBlanks = " ";
constexpr std::string_view kLoopback = "127.0.0.1";

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// A number written back as decimal text: whole numbers without a fraction, so a port
// piece written 08466 reads 8466 and one without a number reads 0. Written the same way
// in every locale, so the text reads back as the same number.
std::string DecimalText(double value) {
  if (value == 0) {
    return "0";
  }
  char text[64];
  const bool whole = std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15;
  const auto written =
      whole ? std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 0)
            : std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, written.ptr);
}

}  // namespace

std::optional<RemoteTarget> RemoteTargetOf(std::string_view argumentText) {
  if (argumentText.empty()) {
    return std::nullopt;
  }
  RemoteTarget target;
  const auto colon = argumentText.find(':');
  if (colon == std::string_view::npos) {
    target.host = argumentText;
    target.portText = kDefaultQueryPortText;
  } else {
    target.host = TrimBlanks(argumentText.substr(0, colon));
    const auto rest = argumentText.substr(colon + 1);
    const auto portPiece = rest.substr(0, rest.find(':'));
    target.portText = DecimalText(NumericValue(TrimBlanks(portPiece)));
  }
  const double value = NumericValue(target.portText);
  if (!(value > 0 && value <= 65535)) {
    return std::nullopt;
  }
  // The rounded port is checked too, so a piece like 0.4 cannot aim the query at port 0.
  const auto port = RoundHalfEven(value);
  if (!port || *port < 1) {
    return std::nullopt;
  }
  target.port = static_cast<std::uint16_t>(*port);
  return target;
}

std::string LocalTargetHost(const ConsoleSettings& settings, const AddressTableReader& read) {
  if (!settings.ConfiguredIPAddress.empty() &&
      IsLocalIPAddress(settings.ConfiguredIPAddress, read)) {
    return settings.ConfiguredIPAddress;
  }
  return std::string(kLoopback);
}

}  // namespace brivane
