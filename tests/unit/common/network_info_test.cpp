#include "common/network_info.h"

#include <gtest/gtest.h>

namespace brivane {
namespace {

AddressTableReader Table(std::vector<std::string> addresses) {
  return [addresses] { return std::optional<std::vector<std::string>>(addresses); };
}

const AddressTableReader kUnreadable = [] { return std::optional<std::vector<std::string>>(); };

TEST(IsValidIPAddress, AcceptsDottedQuadsByTheLenientRules) {
  EXPECT_TRUE(IsValidIPAddress("192.168.1.20"));
  EXPECT_TRUE(IsValidIPAddress("255.255.255.255"));
  EXPECT_TRUE(IsValidIPAddress("127.0.0.2"));
  // The comparison with 0.0.0.0 is made untrimmed; a blank piece reads as 0.
  EXPECT_TRUE(IsValidIPAddress(" 0.0.0.0"));
  // Pieces that are not numbers count as 0; trailing text after a number is ignored.
  EXPECT_TRUE(IsValidIPAddress("a.b.c.d"));
  EXPECT_TRUE(IsValidIPAddress("1..2.3"));
  EXPECT_TRUE(IsValidIPAddress("10.0.0.1:80"));
  EXPECT_TRUE(IsValidIPAddress("010.0.0.1"));
}

TEST(IsValidIPAddress, RejectsWhatCannotBeAnAddress) {
  EXPECT_FALSE(IsValidIPAddress(""));
  EXPECT_FALSE(IsValidIPAddress("    "));
  EXPECT_FALSE(IsValidIPAddress("localhost"));
  EXPECT_FALSE(IsValidIPAddress("0.0.0.0"));
  EXPECT_FALSE(IsValidIPAddress("1.2.3"));
  EXPECT_FALSE(IsValidIPAddress("192.168.1"));
  EXPECT_FALSE(IsValidIPAddress("1.2.3.4.5"));
  EXPECT_FALSE(IsValidIPAddress("256.1.1.1"));
  EXPECT_FALSE(IsValidIPAddress("300.1.1.1"));
  EXPECT_FALSE(IsValidIPAddress("-1.1.1.1"));
  EXPECT_FALSE(IsValidIPAddress("1.1.1.1e999"));
}

TEST(GetLocalIPAddresses, ListsEverythingButTheLoopbackText) {
  std::vector<std::string> list{"stale"};
  EXPECT_TRUE(GetLocalIPAddresses(list, Table({"127.0.0.1", "10.0.0.5", "127.0.0.2", "0.0.0.0"})));
  EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.5", "127.0.0.2", "0.0.0.0"}));

  EXPECT_FALSE(GetLocalIPAddresses(list, Table({"127.0.0.1"})));
  EXPECT_TRUE(list.empty());
  list = {"stale"};
  EXPECT_FALSE(GetLocalIPAddresses(list, kUnreadable));
  EXPECT_TRUE(list.empty());
}

TEST(IsLocalIPAddress, ComparesTextsExactly) {
  const auto table = Table({"127.0.0.1", "10.0.0.5"});
  EXPECT_TRUE(IsLocalIPAddress("10.0.0.5", table));
  EXPECT_FALSE(IsLocalIPAddress("010.0.0.5", table));
  EXPECT_FALSE(IsLocalIPAddress("10.0.0.5 ", table));
  EXPECT_FALSE(IsLocalIPAddress("10.0.0.6", table));
  EXPECT_FALSE(IsLocalIPAddress("127.0.0.2", table));
  EXPECT_TRUE(IsLocalIPAddress("127.0.0.2", Table({"127.0.0.2"})));
  EXPECT_FALSE(IsLocalIPAddress("a.b.c.d", table));
}

TEST(IsLocalIPAddress, LoopbackIsLocalEvenWithoutATable) {
  EXPECT_TRUE(IsLocalIPAddress("127.0.0.1", kUnreadable));
  EXPECT_TRUE(IsLocalIPAddress("127.0.0.1", Table({})));
  EXPECT_FALSE(IsLocalIPAddress("10.0.0.5", kUnreadable));
}

TEST(ReadAddressTable, ListsThisMachinesLoopback) {
  const auto table = ReadAddressTable();
  ASSERT_TRUE(table.has_value());
  EXPECT_NE(std::find(table->begin(), table->end(), "127.0.0.1"), table->end());
  EXPECT_TRUE(IsLocalIPAddress("127.0.0.1"));
}

}  // namespace
}  // namespace brivane
