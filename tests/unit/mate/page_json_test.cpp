#include "mate/page_json.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "mate/decode.h"

namespace {

using namespace std::chrono;

// 2026-12-08T10:44:02.123Z
const system_clock::time_point kReadAt =
    system_clock::time_point(seconds(1796726642)) + milliseconds(123);

std::string JsonOf(const std::string& record) {
  return mate::PageJson(std::get<mate::Page>(mate::DecodePage(record)), kReadAt).dump();
}

TEST(MatePageJson, EveryTypeWithItsKeysAndThePagesResolution) {
  EXPECT_EQ(JsonOf(":,06,00,06,116,115,00,02,000,02,262,001,000,052"),
            R"({"ac_input_voltage":232,"ac_mode":"AC Use","ac_output_voltage":230,"address":":",)"
            R"("aux_output":false,"battery_voltage":26.2,"buy_current":3,"charger_current":0,)"
            R"("device":"fx_10","error_bits":0,"errors":[],"inverter_current":3,"is_230v":true,)"
            R"("misc_bits":1,"operating_mode":"Inverter On","operating_mode_code":2,"port":10,)"
            R"("raw":":,06,00,06,116,115,00,02,000,02,262,001,000,052","sell_current":0,)"
            R"("time":"2026-12-08T10:44:02.123Z","type":"fx","warning_bits":0,"warnings":[]})");
  EXPECT_EQ(JsonOf("A,00,12,09,071,018,00,00,032,01,272,9999,00,099"),
            R"({"address":"A","aux_active":false,"aux_mode":"Disabled","aux_mode_code":0,)"
            R"("battery_voltage":27.2,"charger_current":12,"charger_mode":"Float",)"
            R"("charger_mode_code":1,"charger_power":326.4,"daily_ah":null,"daily_kwh":1.8,)"
            R"("device":"mx_1","error_bits":32,"errors":["Shorted battery sensor"],"port":1,)"
            R"("pv_current":9,"pv_power":639,"pv_voltage":71,)"
            R"("raw":"A,00,12,09,071,018,00,00,032,01,272,9999,00,099",)"
            R"("time":"2026-12-08T10:44:02.123Z","type":"mx"})");
  EXPECT_EQ(JsonOf("a,0150,0043,0000,76,00120,252,085,001,18,22,114"),
            R"({"address":"a","battery_temperature":12,"battery_voltage":25.2,)"
            R"("charge_parameters_met":false,"device":"fndc_1","net_battery_ah":-120,"port":1,)"
            R"("raw":"a,0150,0043,0000,76,00120,252,085,001,18,22,114","relay_automatic":true,)"
            R"("relay_closed":false,"shunt_a_current":15,"shunt_a_enabled":true,)"
            R"("shunt_b_current":-4.3,"shunt_b_enabled":true,"shunt_c_current":0,)"
            R"("shunt_c_enabled":false,"state_of_charge":85,"status_bits":18,)"
            R"("time":"2026-12-08T10:44:02.123Z","type":"fndc"})");
  // Tenths and hundredths print as the page wrote them, and read back the same.
  const auto kwh = nlohmann::json::parse(JsonOf("c,0000,0000,0000,13,00001,240,100,000,00,99,081"));
  EXPECT_EQ(kwh["net_battery_kwh"].dump(), "0.01");
  EXPECT_EQ(kwh["battery_temperature"], nullptr);
  EXPECT_EQ(kwh["shunt_a_current"].dump(), "0");
}

TEST(MatePageJson, TimeIsUtcWithMilliseconds) {
  EXPECT_EQ(mate::UtcTimeText(system_clock::time_point(seconds(0))), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(mate::UtcTimeText(kReadAt + milliseconds(877)), "2026-12-08T10:44:03.000Z");
}

}  // namespace
