#include <gtest/gtest.h>

#include <variant>

#include "gateway/core/device_registry.h"
#include "gateway/core/reject_tally.h"
#include "mate/decode.h"
#include "mate/page_json.h"
#include "tests/unit/gateway/test_pages.h"

namespace brivane::gateway {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

mate::Page Decode(std::string_view record) {
  auto decoded = mate::DecodePage(record);
  EXPECT_TRUE(std::holds_alternative<mate::Page>(decoded)) << record;
  return std::get<mate::Page>(decoded);
}

DeviceRegistry::Accepted Accept(DeviceRegistry& registry, std::string_view record, TimePoint now) {
  const auto page = Decode(record);
  return registry.Accept(page, mate::PageJson(page, std::chrono::system_clock::now()), now);
}

TEST(DeviceRegistry, DevicesGoOfflineAfterSilenceAndWithTheBridge) {
  DeviceRegistry registry(30s);
  const TimePoint start{};
  auto fx = Accept(registry, test::kFxPage, start);
  EXPECT_TRUE(fx.cameOnline);
  EXPECT_EQ(fx.state->device, "fx_0");
  EXPECT_FALSE(Accept(registry, test::kFxPage, start + 1s).cameOnline);
  EXPECT_TRUE(Accept(registry, test::kMxPage, start + 10s).cameOnline);
  EXPECT_EQ(registry.NextExpiry(), start + 31s);

  EXPECT_TRUE(registry.Expire(start + 30s).empty());
  const auto gone = registry.Expire(start + 31s);
  ASSERT_EQ(gone.size(), 1u);
  EXPECT_EQ(gone[0]->device, "fx_0");
  EXPECT_FALSE(gone[0]->online);
  EXPECT_EQ(registry.NextExpiry(), start + 40s);

  // A page brings it back; the bridge going takes every device with it, once.
  EXPECT_TRUE(Accept(registry, test::kFxPage, start + 35s).cameOnline);
  EXPECT_EQ(registry.AllOffline().size(), 2u);
  EXPECT_TRUE(registry.AllOffline().empty());
  EXPECT_FALSE(registry.NextExpiry());
  EXPECT_TRUE(registry.Expire(start + 100s).empty());
}

TEST(DeviceRegistry, FlexnetDcStateKeepsEveryExtraValueSeen) {
  DeviceRegistry registry(30s);
  const TimePoint start{};
  Accept(registry, test::FndcPage("02", "00023"), start);
  Accept(registry, test::FndcPage("76", "00120"), start + 1s);  // 64 + 12: negative
  const auto latest = Accept(registry, test::FndcPage("02", "00025"), start + 2s);
  const auto& json = latest.state->json;
  EXPECT_EQ(json.at("shunt_b_accumulated_ah"), 25);
  EXPECT_EQ(json.at("net_battery_ah"), -120);
  EXPECT_EQ(json.at("device"), "fndc_1");
  // Other devices never take extra data from it.
  Accept(registry, test::kFxPage, start + 3s);
  EXPECT_FALSE(registry.Find("fx_0")->json.contains("net_battery_ah"));
}

TEST(RejectTally, LogsAtMostOnceAMinuteWithTheCount) {
  RejectTally tally;
  const TimePoint start{};
  auto first = tally.OnReject("checksum is 031, the digits add up to 032", "0,00", start);
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, "rejected a page: checksum is 031, the digits add up to 032: \"0,00\"");
  EXPECT_FALSE(tally.NextFlush());
  EXPECT_FALSE(tally.OnReject("a", "1", start + 1s));
  EXPECT_FALSE(tally.OnReject("b", "2", start + 59s));
  EXPECT_EQ(tally.NextFlush(), start + 60s);
  EXPECT_FALSE(tally.Flush(start + 59s));
  auto summary = tally.Flush(start + 60s);
  ASSERT_TRUE(summary);
  EXPECT_EQ(*summary, "rejected 2 pages in the last minute, the latest: b: \"2\"");
  EXPECT_FALSE(tally.Flush(start + 200s));
  EXPECT_TRUE(tally.OnReject("c", "3", start + 121s));
  EXPECT_EQ(tally.Total(), 4u);
}

}  // namespace
}  // namespace brivane::gateway
