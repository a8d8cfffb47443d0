#pragma once

#include <string>

#include "common/network_info.h"

namespace brivane {

// The address a UDP reply names as the service's: the local address the request
// arrived on; failing that, the machine's first address; failing that, 127.0.0.1.
std::string ChooseServiceAddress(const std::string& arrivalAddress,
                                 const AddressTableReader& readAddresses);

}  // namespace brivane
