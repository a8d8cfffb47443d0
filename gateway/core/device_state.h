#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "mate/page.h"

namespace brivane::gateway {

// What the gateway knows of one MATE device: its latest decoded page as JSON (a
// FLEXnet DC's with every extra-data value seen so far) and whether its pages arrive.
struct DeviceState {
  std::string device;  // "fx_0", "mx_1", "fndc_3"
  mate::DeviceType type = mate::DeviceType::Fx;
  int port = 0;
  char address = '0';
  nlohmann::json json;
  bool online = false;
  std::chrono::steady_clock::time_point lastPage;
};

}  // namespace brivane::gateway
