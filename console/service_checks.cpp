#include "console/service_checks.h"

#include "common/product.h"

namespace brivane {

ServiceState SystemServiceChecks::Read() {
  return link_.ReadState(kServiceName);
}

void SystemServiceChecks::Start() {
  link_.Start(kServiceName, Authorization::Interactive);
}

void SystemServiceChecks::Stop() {
  link_.Stop(kServiceName, Authorization::Interactive);
}

}  // namespace brivane
