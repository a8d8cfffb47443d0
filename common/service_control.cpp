#include "common/service_control.h"

namespace brivane {

bool WindowsServiceExists(std::string_view) {
  return false;
}
bool WindowsServiceRunning(std::string_view) {
  return false;
}
bool StartWindowsService(std::string_view) {
  return false;
}
bool StopWindowsService(std::string_view) {
  return false;
}

}  // namespace brivane
