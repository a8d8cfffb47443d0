#include "service/serial/record_processing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/serial/equipment_registry.h"

namespace brivane {
namespace {

using ::testing::ElementsAre;

struct Processing {
  void Process(const std::string& record) {
    ProcessRecord(record, registry, [&](std::string_view r) { sent.emplace_back(r); });
  }
  EquipmentRegistry registry;
  std::vector<std::string> sent;
};

TEST(RecordProcessingTest, ForwardsOnlyRecordsWithCommaAndOneCharacterFirstField) {
  Processing p;
  for (const char* record :
       {"", "5", "AB,1,2", ",1,2", "1,00,01", "Z,1", "a,1\nb,2", "#,", "\xff,9"}) {
    p.Process(record);
  }
  EXPECT_THAT(p.sent, ElementsAre("1,00,01", "Z,1", "a,1\nb,2", "#,", "\xff,9"));
  EXPECT_EQ(p.registry.FXAddresses(), "1");
  EXPECT_EQ(p.registry.MXCount(), 0);
  EXPECT_TRUE(p.registry.FNDCDetected());
}

TEST(RecordProcessingTest, RegistryKeepsDistinctAddressesInOrderAndOnlyGrows) {
  EquipmentRegistry r;
  EXPECT_EQ(r.FXCount(), 0);
  EXPECT_EQ(r.MXCount(), 0);
  EXPECT_FALSE(r.FNDCDetected());

  for (int i = 0; i < 5; ++i) {
    r.Register('7');
  }
  EXPECT_EQ(r.FXCount(), 1);
  for (char c : std::string("9876543210")) {
    r.Register(c);
  }
  EXPECT_EQ(r.FXCount(), 10);
  EXPECT_EQ(r.FXAddresses(), "7986543210");

  for (char c : std::string("KJIHGFEDCBAABCK")) {
    r.Register(c);
  }
  EXPECT_EQ(r.MXCount(), 11);
  EXPECT_EQ(r.MXAddresses(), "KJIHGFEDCBA");

  // Just outside the ranges: no bookkeeping.
  for (char c : std::string("L@k`/:Z")) {
    r.Register(c);
  }
  EXPECT_EQ(r.FXCount(), 10);
  EXPECT_EQ(r.MXCount(), 11);
  EXPECT_FALSE(r.FNDCDetected());
  r.Register('j');
  EXPECT_TRUE(r.FNDCDetected());
  r.Register('a');
  EXPECT_TRUE(r.FNDCDetected());
}

}  // namespace
}  // namespace brivane
