#pragma once

#include <functional>
#include <string>

#include <asio.hpp>

namespace brivane {

// errno and strerror text of the failing socket call.
struct SocketError {
  int number;
  std::string description;
};

// An event-log entry: type 1 error, 2 warning.
using EventLogFn = std::function<void(int type, const std::string& text)>;

inline constexpr int kEventWarning = 2;

SocketError MakeSocketError(const asio::error_code& error);

// The local address to bind: "" is every address, otherwise dotted decimal.
// EINVAL for text that is not an IPv4 address.
asio::ip::address_v4 BindAddress(const std::string& address, asio::error_code& error);

}  // namespace brivane
