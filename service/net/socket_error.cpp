#include "service/net/socket_error.h"

#include <cerrno>
#include <cstring>

namespace brivane {

SocketError MakeSocketError(const asio::error_code& error) {
  // Asio reports system errors with errno values and strerror texts.
  return SocketError{error.value(), error.message()};
}

asio::ip::address_v4 BindAddress(const std::string& address, asio::error_code& error) {
  error.clear();
  if (address.empty()) {
    return asio::ip::address_v4::any();
  }
  asio::ip::address_v4 parsed = asio::ip::make_address_v4(address, error);
  if (error) {
    error = asio::error_code(EINVAL, asio::system_category());
  }
  return parsed;
}

}  // namespace brivane
