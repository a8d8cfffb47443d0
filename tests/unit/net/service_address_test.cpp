#include "service/net/service_address.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

AddressTableReader Table(std::optional<std::vector<std::string>> addresses) {
  return [addresses] { return addresses; };
}

TEST(ChooseServiceAddress, ArrivalAddressThenFirstLocalAddressThenLoopback) {
  const auto table = Table(std::vector<std::string>{"127.0.0.1", "192.168.1.20", "10.0.0.3"});
  EXPECT_EQ(ChooseServiceAddress("10.0.0.3", table), "10.0.0.3");
  // The loopback entry is never "the first local address".
  EXPECT_EQ(ChooseServiceAddress("", table), "192.168.1.20");
  EXPECT_EQ(ChooseServiceAddress("", Table(std::vector<std::string>{"127.0.0.1"})), "127.0.0.1");
  EXPECT_EQ(ChooseServiceAddress("", Table(std::nullopt)), "127.0.0.1");
  EXPECT_EQ(ChooseServiceAddress("", AddressTableReader()), "127.0.0.1");
}

}  // namespace
}  // namespace brivane
