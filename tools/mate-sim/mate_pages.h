#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Status pages as a MATE sends them: line feed, the device address, comma-separated
// fixed-width decimal fields ending with a checksum, carriage return.
namespace brivane::sim {

enum class DeviceKind { FX, MX, FNDC };

// '0'-'9' and ':' FX inverter, 'A'-'J' MX charge controller, 'a'-'j' FLEXnet DC
// monitor: the direct port and hub ports 1-10.
std::optional<DeviceKind> KindOfAddress(char address);

// Builds one page from its fields (checksum excluded); with a sequence number, an
// extra 8-digit field follows the address (and the page is no longer a MATE's).
std::string MakePage(char address, const std::vector<std::string>& fields,
                     std::optional<std::uint64_t> sequence);

// One simulated device whose readings drift slowly and plausibly with time.
class SimulatedDevice {
 public:
  explicit SimulatedDevice(char address);
  char Address() const { return address_; }
  // The fields of its page at `seconds` since the simulator started. With `fault`, an
  // FX reports an error and a warning (other devices carry on as before).
  std::vector<std::string> Fields(double seconds, bool fault = false) const;

 private:
  std::vector<std::string> FxFields(double seconds, bool fault) const;
  std::vector<std::string> MxFields(double seconds) const;
  std::vector<std::string> FndcFields(double seconds) const;

  char address_;
  DeviceKind kind_;
  double phase_;
};

}  // namespace brivane::sim
