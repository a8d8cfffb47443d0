#pragma once

#include <array>
#include <cstdint>
#include <string>

// Which OutBack devices have reported since the service process started. Only grows.
namespace brivane {

class EquipmentRegistry {
 public:
  static constexpr std::size_t kSlots = 11;

  // Notes the device address c of an accepted record: '0'-'9' an FX inverter,
  // 'A'-'K' an MX charge controller, 'a'-'j' a FLEXnet DC monitor; others are ignored.
  void Register(char c);

  std::int32_t FXCount() const { return FXCount_; }
  std::int32_t MXCount() const { return MXCount_; }
  bool FNDCDetected() const { return FNDCDetected_; }
  // The distinct addresses seen, in order of first appearance.
  std::string FXAddresses() const { return std::string(FXAddresses_.data(), FXCount_); }
  std::string MXAddresses() const { return std::string(MXAddresses_.data(), MXCount_); }

 private:
  std::array<char, kSlots> FXAddresses_{};
  std::int32_t FXCount_ = 0;
  std::array<char, kSlots> MXAddresses_{};
  std::int32_t MXCount_ = 0;
  bool FNDCDetected_ = false;
};

}  // namespace brivane
