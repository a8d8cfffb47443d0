#include "console/service_checks.h"

#include "common/product.h"
#include "common/service_control.h"

namespace brivane {

bool SystemServiceChecks::Exists() {
  return WindowsServiceExists(kServiceName);
}

bool SystemServiceChecks::Running() {
  return WindowsServiceRunning(kServiceName);
}

void SystemServiceChecks::Start() {
  StartWindowsService(kServiceName);
}

void SystemServiceChecks::Stop() {
  StopWindowsService(kServiceName);
}

}  // namespace brivane
