#include "service/net/service_address.h"

#include <vector>

namespace brivane {

std::string ChooseServiceAddress(const std::string& arrivalAddress,
                                 const AddressTableReader& readAddresses) {
  if (!arrivalAddress.empty()) {
    return arrivalAddress;
  }
  std::vector<std::string> local;
  if (readAddresses && GetLocalIPAddresses(local, readAddresses) && !local.empty()) {
    return local.front();
  }
  return "127.0.0.1";
}

}  // namespace brivane
