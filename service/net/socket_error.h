#pragma once

#include <string>

#include <asio.hpp>

#include "service/base/service_types.h"

namespace brivane {

// The failing socket call's errno and strerror text.
using SocketError = NumberedError;

SocketError MakeSocketError(const asio::error_code& error);

// The local address to bind: "" is every address, otherwise dotted decimal.
// EINVAL for text that is not an IPv4 address.
asio::ip::address_v4 BindAddress(const std::string& address, asio::error_code& error);

}  // namespace brivane
