#include <gtest/gtest.h>

#include <sqlite3.h>

#include <asio.hpp>
#include <cmath>
#include <string>
#include <vector>

#include "gateway/history/downsample.h"
#include "gateway/history/history_output.h"
#include "gateway/history/history_store.h"
#include "gateway/history/minute_aggregator.h"
#include "gateway/history/value_blob.h"
#include "tests/support/temp_folder.h"

namespace brivane::gateway {
namespace {

using nlohmann::json;

struct Logged {
  std::vector<std::string> lines;
  LogFn Fn() {
    return [this](LogLevel, const std::string& text) { lines.push_back(text); };
  }
};

TEST(MinuteAggregator, StatesBecomeOneRowPerDeviceAndMinuteWithMeanMinMax) {
  EXPECT_EQ(MinuteOf(125), 120);
  EXPECT_EQ(MinuteOf(-1), -60);
  // Flags, codes, bit fields and the port are not values to chart.
  const auto numbers = NumericValues(json{{"battery_voltage", 24.8},
                                          {"port", 2},
                                          {"aux_output", true},
                                          {"error_bits", 4},
                                          {"charger_mode_code", 2},
                                          {"ac_mode", "AC Use"}});
  ASSERT_EQ(numbers.size(), 1u);
  EXPECT_DOUBLE_EQ(numbers.at("battery_voltage"), 24.8);

  MinuteAggregator minutes;
  minutes.Add("fx_0", {{"battery_voltage", 24.0}}, 600);
  minutes.Add("fx_0", {{"battery_voltage", 26.0}}, 630);
  minutes.Add("fx_0", {{"battery_voltage", 25.0}, {"inverter_current", 3}}, 659);
  minutes.Add("mx_1", {{"pv_power", 400}}, 640);
  EXPECT_TRUE(minutes.TakeClosed(659).empty());           // the minute is still open
  minutes.Add("fx_0", {{"battery_voltage", 30.0}}, 661);  // the next minute begins

  auto rows = minutes.TakeClosed(661);
  ASSERT_EQ(rows.size(), 2u);  // fx_0 closed by its page, mx_1 by the clock
  const auto& fx = rows[0].device == "fx_0" ? rows[0] : rows[1];
  EXPECT_EQ(fx.time, 600);
  const Aggregate& voltage = fx.values.at("battery_voltage");
  EXPECT_DOUBLE_EQ(voltage.Mean(), 25.0);
  EXPECT_DOUBLE_EQ(voltage.min, 24.0);
  EXPECT_DOUBLE_EQ(voltage.max, 26.0);
  EXPECT_EQ(voltage.count, 3u);
  EXPECT_EQ(fx.values.at("inverter_current").count, 1u);

  // The stop takes the open minute too.
  const auto last = minutes.TakeAll();
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].time, 660);
  EXPECT_TRUE(minutes.TakeAll().empty());
}

TEST(ValueBlob, RoundTripsAndRefusesDamagedBytes) {
  NumberedAggregates values;
  values[3].Add(24.5);
  values[3].Add(25.5);
  values[700].Add(-3.25);  // held still: one float
  const std::string blob = EncodeValues(values);
  const auto back = DecodeValues(blob);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), 2u);
  EXPECT_FLOAT_EQ(back->at(3).Mean(), 25.0f);
  EXPECT_FLOAT_EQ(back->at(3).min, 24.5f);
  EXPECT_FLOAT_EQ(back->at(3).max, 25.5f);
  EXPECT_EQ(back->at(3).count, 2u);
  EXPECT_FLOAT_EQ(back->at(700).max, -3.25f);
  ASSERT_TRUE(DecodeValue(blob, 700));
  EXPECT_FALSE(DecodeValue(blob, 4));
  // A cut record is refused, unless it is cut just between two values.
  for (std::size_t cut = 1; cut < blob.size(); ++cut) {
    const auto part = DecodeValues(blob.substr(0, cut));
    EXPECT_TRUE(!part || (part->size() == 1 && part->contains(3))) << cut;
  }
}

TEST(Downsample, AtMostTheAskedPointsEachMergingWholeRows) {
  std::vector<std::pair<std::int64_t, Aggregate>> rows;
  for (std::int64_t t = 0; t < 86400; t += 60) {
    Aggregate value;
    value.Add(static_cast<double>(t / 60));
    rows.emplace_back(t, value);
  }
  EXPECT_EQ(ResolutionFor(0, 86400, 500), kMinute);
  EXPECT_EQ(ResolutionFor(0, 365 * 86400, 500), kHour);
  const auto points = Downsample(rows, 0, 86400, 500, kMinute);
  ASSERT_LE(points.size(), 500u);
  ASSERT_GE(points.size(), 400u);
  // 86400 / 500 rounds up to whole minutes: 3 a bucket.
  EXPECT_EQ(points[1].time, 180);
  EXPECT_DOUBLE_EQ(points[1].mean, 4.0);
  EXPECT_DOUBLE_EQ(points[1].min, 3.0);
  EXPECT_DOUBLE_EQ(points[1].max, 5.0);
  // A narrow window takes only its own rows; an empty one gives nothing.
  const auto narrow = Downsample(rows, 600, 720, 500, kMinute);
  ASSERT_EQ(narrow.size(), 2u);
  EXPECT_EQ(narrow[0].time, 600);
  EXPECT_TRUE(Downsample(rows, 90000, 99999, 500, kMinute).empty());
  EXPECT_EQ(Downsample(rows, 0, 86400, 1, kMinute).size(), 1u);
  EXPECT_EQ(RetentionCutoff(400 * 86400 + 5, 400), 5);
}

SpanRow Row(const std::string& device, std::int64_t time, double value, int samples = 1) {
  SpanRow row{device, time, {}};
  for (int i = 0; i < samples; ++i) {
    row.values["battery_voltage"].Add(value + i);
  }
  return row;
}

TEST(HistoryStore, MinutesHoursRetentionAndARestartWithinTheMinute) {
  testkit::TempFolder folder;
  Logged log;
  HistoryStore store(log.Fn());
  ASSERT_TRUE(store.Open(folder / "history.db"));
  std::vector<SpanRow> rows;
  for (int minute = 0; minute < 180; ++minute) {
    rows.push_back(Row("fx_0", 36000 + minute * 60, minute, 2));
  }
  ASSERT_TRUE(store.Write(rows));
  // Written again within the same minute (the gateway restarted): merged, not replaced.
  ASSERT_TRUE(store.Write({Row("fx_0", 36000, 100)}));
  EXPECT_TRUE(store.KnowsDevice("fx_0"));
  EXPECT_FALSE(store.KnowsDevice("mx_1"));
  EXPECT_TRUE(store.KnowsKey("battery_voltage"));

  const auto first = store.Query("fx_0", "battery_voltage", 36000, 36060, 10);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_NEAR(first[0].mean, (0 + 1 + 100) / 3.0, 1e-4);
  EXPECT_DOUBLE_EQ(first[0].max, 100);

  // Three hours at one point per hour come from the hourly rows.
  const auto hours = store.Query("fx_0", "battery_voltage", 36000, 36000 + 3 * 3600, 3);
  ASSERT_EQ(hours.size(), 3u);
  EXPECT_EQ(hours[1].time, 39600);
  EXPECT_NEAR(hours[1].mean, 60 + 29.5 + 0.5, 1e-3);  // minutes 60..119, two samples each
  EXPECT_DOUBLE_EQ(hours[2].min, 120);
  EXPECT_DOUBLE_EQ(hours[2].max, 180);

  ASSERT_TRUE(store.DeleteBefore(39600));
  EXPECT_TRUE(store.Query("fx_0", "battery_voltage", 36000, 39600, 60).empty());
  EXPECT_EQ(store.Query("fx_0", "battery_voltage", 39600, 39600 + 600, 10).size(), 10u);
  EXPECT_TRUE(log.lines.empty());
}

TEST(HistoryStore, ALastingFailureIsToldOnceAndItsEndToo) {
  testkit::TempFolder folder;
  Logged log;
  HistoryStore store(log.Fn());
  ASSERT_TRUE(store.Open(folder / "history.db"));
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open((folder / "history.db").c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_FALSE(store.Write({Row("fx_0", 36000, 1)}));
  EXPECT_FALSE(store.Write({Row("fx_0", 36060, 2)}));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("locked"), std::string::npos) << log.lines[0];
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(store.Write({Row("fx_0", 36120, 3)}));
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_NE(log.lines[1].find("written again"), std::string::npos) << log.lines[1];
}

TEST(HistoryStore, DamagedOrNewerDatabaseIsMovedAsideAndANewOneStarted) {
  testkit::TempFolder folder;
  const auto path = folder / "history.db";
  testkit::WriteFile(path, std::string(8192, 'x'));
  Logged log;
  {
    HistoryStore store(log.Fn());
    ASSERT_TRUE(store.Open(path));
    EXPECT_TRUE(store.Write({Row("fx_0", 600, 24)}));
  }
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("damaged"), std::string::npos) << log.lines[0];
  EXPECT_NE(log.lines[0].find("moved aside to"), std::string::npos) << log.lines[0];
  int aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
    aside += entry.path().filename().string().starts_with("history.db.broken-");
  }
  EXPECT_EQ(aside, 1);

  {  // The kept database is claimed by a later version.
    HistoryStore store(log.Fn());
    ASSERT_TRUE(store.Open(path));
    ASSERT_TRUE(store.Write({Row("fx_0", 660, 24)}));
  }
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  log.lines.clear();
  HistoryStore store(log.Fn());
  ASSERT_TRUE(store.Open(path));
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("later version"), std::string::npos) << log.lines[0];
  EXPECT_FALSE(store.KnowsDevice("fx_0"));  // a new, empty one
}

TEST(HistoryOutput, TheStopWritesTheOpenMinute) {
  testkit::TempFolder folder;
  Logged log;
  HistoryStore store(log.Fn());
  ASSERT_TRUE(store.Open(folder / "history.db"));
  asio::io_context io;
  HistoryOutput output(io, store, 400);
  output.Start();
  DeviceState state;
  state.device = "mx_1";
  state.json = {{"pv_power", 500}, {"charger_mode", "Bulk"}};
  output.OnState(state);
  state.json["pv_power"] = 700;
  output.OnState(state);
  output.Stop();
  const auto now = std::time(nullptr);
  const auto points = store.Query("mx_1", "pv_power", now - 600, now + 60, 500);
  ASSERT_FALSE(points.empty());
  const auto& last = points.back();
  EXPECT_DOUBLE_EQ(last.max, 700);
  EXPECT_DOUBLE_EQ(last.min, 500);
  EXPECT_DOUBLE_EQ(last.mean, 600);
  // The stopped output takes nothing more.
  output.OnState(state);
  io.run_for(std::chrono::milliseconds(10));
}

}  // namespace
}  // namespace brivane::gateway
