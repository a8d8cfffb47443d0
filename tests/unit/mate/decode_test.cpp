#include "mate/decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The page with its checksum recomputed by hand: every character but commas as its
// code minus 48.
std::string WithChecksum(std::string body) {
  int sum = 0;
  for (char c : body) {
    if (c != ',') {
      sum += c - '0';
    }
  }
  char digits[8];
  std::snprintf(digits, sizeof digits, ",%03d", sum);
  return body + digits;
}

mate::Page Accepted(const std::string& record) {
  auto result = mate::DecodePage(record);
  if (const auto* rejection = std::get_if<mate::Rejection>(&result)) {
    ADD_FAILURE() << record << " rejected: " << rejection->reason;
    return {};
  }
  return std::get<mate::Page>(result);
}

std::string Reason(const std::string& record) {
  auto result = mate::DecodePage(record);
  if (const auto* rejection = std::get_if<mate::Rejection>(&result)) {
    return rejection->reason;
  }
  return "accepted";
}

TEST(MateDecode, GuideFxPagesWithAndWithoutFraming) {
  const auto first = Accepted("\n0,00,00,00,119,000,00,00,000,01,254,008,000,031\r");
  EXPECT_EQ(first.type, mate::DeviceType::Fx);
  EXPECT_EQ(first.port, 0);
  EXPECT_EQ(first.address, '0');
  EXPECT_EQ(first.raw, "0,00,00,00,119,000,00,00,000,01,254,008,000,031");
  EXPECT_EQ(mate::DeviceName(first), "fx_0");
  const auto& fx = std::get<mate::FxValues>(first.values);
  EXPECT_EQ(fx.inverter_current, 0);
  EXPECT_EQ(fx.ac_input_voltage, 119);
  EXPECT_EQ(fx.ac_output_voltage, 0);
  EXPECT_EQ(fx.operating_mode, "Inverter Off");
  EXPECT_EQ(fx.ac_mode, "AC Drop");
  EXPECT_EQ(fx.battery_voltage, 25.4);
  EXPECT_EQ(fx.misc_bits, 8);
  EXPECT_FALSE(fx.is_230v);
  EXPECT_FALSE(fx.aux_output);
  EXPECT_THAT(fx.errors, IsEmpty());
  EXPECT_THAT(fx.warnings, IsEmpty());

  const auto second = Accepted("0,00,00,00,120,000,00,02,000,01,254,008,000,025");
  const auto& fx2 = std::get<mate::FxValues>(second.values);
  EXPECT_EQ(fx2.ac_input_voltage, 120);
  EXPECT_EQ(fx2.operating_mode_code, 2);
  EXPECT_EQ(fx2.operating_mode, "Inverter On");
}

TEST(MateDecode, FxOnHubPortTenFollowsThe230VoltRule) {
  const auto page = Accepted(":,06,00,06,116,115,00,02,000,02,262,001,000,052");
  EXPECT_EQ(page.port, 10);
  EXPECT_EQ(mate::DeviceName(page), "fx_10");
  const auto& fx = std::get<mate::FxValues>(page.values);
  EXPECT_TRUE(fx.is_230v);
  EXPECT_EQ(fx.ac_input_voltage, 232);
  EXPECT_EQ(fx.ac_output_voltage, 230);
  EXPECT_EQ(fx.inverter_current, 3);
  EXPECT_EQ(fx.buy_current, 3);
  EXPECT_EQ(fx.ac_mode, "AC Use");
  EXPECT_EQ(fx.battery_voltage, 26.2);

  // Odd currents halve to half amps; all four currents follow the rule.
  const auto odd = Accepted(WithChecksum("1,07,05,03,116,115,09,09,000,02,262,001,000"));
  const auto& fxOdd = std::get<mate::FxValues>(odd.values);
  EXPECT_EQ(fxOdd.inverter_current, 3.5);
  EXPECT_EQ(fxOdd.charger_current, 2.5);
  EXPECT_EQ(fxOdd.buy_current, 1.5);
  EXPECT_EQ(fxOdd.sell_current, 4.5);
  EXPECT_EQ(fxOdd.operating_mode, "Sell Enabled");

  const auto aux = Accepted("2,12,00,00,000,120,00,02,000,00,248,128,000,035");
  const auto& fxAux = std::get<mate::FxValues>(aux.values);
  EXPECT_EQ(aux.port, 2);
  EXPECT_TRUE(fxAux.aux_output);
  EXPECT_FALSE(fxAux.is_230v);
  EXPECT_EQ(fxAux.inverter_current, 12);
  EXPECT_EQ(fxAux.ac_output_voltage, 120);
  EXPECT_EQ(fxAux.ac_mode, "No AC");
  EXPECT_EQ(fxAux.battery_voltage, 24.8);
}

TEST(MateDecode, FxBitFieldsAndUnknownCodes) {
  const auto page = Accepted(WithChecksum("3,00,00,00,120,120,00,57,132,07,248,000,010"));
  const auto& fx = std::get<mate::FxValues>(page.values);
  EXPECT_EQ(fx.operating_mode, "Unknown (57)");
  EXPECT_EQ(fx.operating_mode_code, 57);
  EXPECT_EQ(fx.ac_mode, "Unknown (7)");
  EXPECT_THAT(fx.errors, ElementsAre("Over temperature", "Back feed"));
  EXPECT_EQ(fx.error_bits, 132);
  EXPECT_THAT(fx.warnings, ElementsAre("AC input frequency low", "AC input voltage low"));
  // Three digits can say more than eight bits.
  const auto wide = Accepted(WithChecksum("3,00,00,00,120,120,00,90,300,02,248,000,000"));
  EXPECT_THAT(std::get<mate::FxValues>(wide.values).errors,
              ElementsAre("Over temperature", "Low battery", "High battery", "Unknown (256)"));
  EXPECT_EQ(std::get<mate::FxValues>(wide.values).operating_mode, "FX Error");
}

TEST(MateDecode, MxPagesWithLetterAddressChecksums) {
  const auto fm = Accepted("\nB,00,24,18,082,045,05,65,000,02,264,0105,00,088\r");
  EXPECT_EQ(fm.type, mate::DeviceType::Mx);
  EXPECT_EQ(fm.port, 2);
  EXPECT_EQ(mate::DeviceName(fm), "mx_2");
  const auto& mx = std::get<mate::MxValues>(fm.values);
  EXPECT_EQ(mx.charger_current, 24.5);
  EXPECT_EQ(mx.pv_current, 18);
  EXPECT_EQ(mx.pv_voltage, 82);
  EXPECT_EQ(mx.pv_power, 82 * 18);
  EXPECT_EQ(mx.charger_power, 646.8);
  EXPECT_EQ(mx.daily_kwh, 4.5);
  EXPECT_EQ(mx.aux_mode_code, 65);
  EXPECT_EQ(mx.aux_mode, "Diversion");
  EXPECT_TRUE(mx.aux_active);
  EXPECT_EQ(mx.charger_mode, "Bulk");
  EXPECT_EQ(mx.battery_voltage, 26.4);
  EXPECT_EQ(mx.daily_ah, 105);
  EXPECT_THAT(mx.errors, IsEmpty());

  const auto mx60 = Accepted("A,00,12,09,071,018,00,00,000,01,272,9999,00,094");
  EXPECT_EQ(mx60.port, 1);
  const auto& old = std::get<mate::MxValues>(mx60.values);
  EXPECT_EQ(old.charger_current, 12);
  EXPECT_EQ(old.daily_ah, std::nullopt);
  EXPECT_EQ(old.aux_mode, "Disabled");
  EXPECT_FALSE(old.aux_active);
  EXPECT_EQ(old.charger_mode, "Float");

  // 'J' is hub port 10 and counts 26 in the checksum.
  const auto last = Accepted(WithChecksum("J,00,03,01,090,000,09,20,225,07,250,0000,00"));
  EXPECT_EQ(last.port, 10);
  const auto& odd = std::get<mate::MxValues>(last.values);
  EXPECT_EQ(odd.charger_current, 3.9);
  EXPECT_EQ(odd.aux_mode, "Unknown (20)");
  EXPECT_EQ(odd.charger_mode, "Unknown (7)");
  EXPECT_THAT(odd.errors,
              ElementsAre("Unknown (1)", "Shorted battery sensor", "Too hot", "High VOC"));
  EXPECT_EQ(odd.daily_ah, 0);
}

TEST(MateDecode, FlexnetDcGuidePagesSignsAndExtraData) {
  const auto first = Accepted("\nc,0000,0126,0000,02,00023,287,099,001,00,33,109\r");
  EXPECT_EQ(first.type, mate::DeviceType::Fndc);
  EXPECT_EQ(mate::DeviceName(first), "fndc_3");
  const auto& dc = std::get<mate::FndcValues>(first.values);
  EXPECT_EQ(dc.shunt_a_current, 0);
  EXPECT_EQ(dc.shunt_b_current, 12.6);
  EXPECT_EQ(dc.extra.kind, 2);
  EXPECT_EQ(dc.extra.value, 23);
  EXPECT_EQ(mate::ExtraDataKey(dc.extra.kind), "shunt_b_accumulated_ah");
  EXPECT_EQ(dc.battery_voltage, 28.7);
  EXPECT_EQ(dc.state_of_charge, 99);
  EXPECT_TRUE(dc.shunt_a_enabled);
  EXPECT_TRUE(dc.shunt_b_enabled);
  EXPECT_FALSE(dc.shunt_c_enabled);
  EXPECT_EQ(dc.battery_temperature, 23);

  const auto second = Accepted("c,0583,0596,0000,05,00000,266,099,001,08,35,141");
  const auto& dc2 = std::get<mate::FndcValues>(second.values);
  EXPECT_EQ(dc2.shunt_a_current, -58.3);
  EXPECT_EQ(dc2.shunt_b_current, 59.6);
  EXPECT_EQ(mate::ExtraDataKey(dc2.extra.kind), "shunt_c_accumulated_kwh");
  EXPECT_EQ(dc2.battery_temperature, 25);
  EXPECT_EQ(dc2.status_bits, 8);

  const auto constructed = Accepted("a,0150,0043,0000,76,00120,252,085,001,18,22,114");
  EXPECT_EQ(constructed.port, 1);
  const auto& dc3 = std::get<mate::FndcValues>(constructed.values);
  EXPECT_EQ(dc3.shunt_a_current, 15);
  EXPECT_EQ(dc3.shunt_b_current, -4.3);
  EXPECT_EQ(dc3.extra.kind, 12);
  EXPECT_TRUE(dc3.extra.negative);
  EXPECT_EQ(dc3.extra.value, -120);
  EXPECT_TRUE(dc3.relay_automatic);
  EXPECT_FALSE(dc3.relay_closed);
  EXPECT_FALSE(dc3.charge_parameters_met);
  EXPECT_EQ(dc3.battery_temperature, 12);

  // No sensor, shunt C negative, relay closed, days since full in tenths.
  const auto noSensor = Accepted(WithChecksum("j,0000,0000,0105,06,00125,240,100,000,37,99"));
  EXPECT_EQ(noSensor.port, 10);
  const auto& dc4 = std::get<mate::FndcValues>(noSensor.values);
  EXPECT_EQ(dc4.battery_temperature, std::nullopt);
  EXPECT_EQ(dc4.shunt_c_current, -10.5);
  EXPECT_TRUE(dc4.relay_closed);
  EXPECT_TRUE(dc4.charge_parameters_met);
  EXPECT_TRUE(dc4.shunt_c_enabled);
  EXPECT_EQ(dc4.extra.value, 12.5);
  EXPECT_EQ(mate::ExtraDataKey(dc4.extra.kind), "days_since_full");

  // Negative kWh in hundredths; a reserved kind has no key.
  const auto kwh = Accepted(WithChecksum("b,0000,0000,0000,77,01234,240,100,000,00,30"));
  EXPECT_EQ(std::get<mate::FndcValues>(kwh.values).extra.value, -12.34);
  const auto reserved = Accepted(WithChecksum("b,0000,0000,0000,20,01234,240,100,000,00,30"));
  EXPECT_EQ(mate::ExtraDataKey(std::get<mate::FndcValues>(reserved.values).extra.kind), "");
}

TEST(MateDecode, RejectsWithTheReason) {
  // One digit changed: 25.4 V became 25.5 V.
  EXPECT_EQ(Reason("0,00,00,00,119,000,00,00,000,01,255,008,000,031"),
            "checksum is 031, the digits add up to 032");
  EXPECT_EQ(Reason("c,0000,0126,0000,02,00023,287,099,001,00,33,108"),
            "checksum is 108, the digits add up to 109");
  // A comma moved one place.
  EXPECT_EQ(Reason("0,000,0,00,119,000,00,00,000,01,254,008,000,031"),
            "field 2 is 3 characters wide, not 2");
  EXPECT_EQ(Reason("0,00,00,00,119,000,00,00,000,01,254,008,000031,"),
            "field 13 is 6 characters wide, not 3");
  EXPECT_EQ(Reason("0,00,00,00,119,000,00,00,000,01,254,008,000,03"),
            "page is 46 characters long, not 47");
  EXPECT_EQ(Reason("\n0,00,00,00,119,000,00,00,000,01,254,008,000,0311\r"),
            "page is 48 characters long, not 47");
  EXPECT_EQ(Reason(""), "page is 0 characters long, not 47");
  EXPECT_EQ(Reason("K,00,12,09,071,018,00,00,000,01,272,9999,00,095"), "unknown address 'K'");
  EXPECT_EQ(Reason("\x01,00,12,09,071,018,00,00,000,01,272,9999,00,095"),
            "unknown address '\\x01'");
  // An FX page's fields behind an MX address: the MX has a 4-digit daily Ah.
  EXPECT_EQ(Reason("A,00,00,00,119,000,00,00,000,01,254,008,000,048"),
            "field 12 is 3 characters wide, not 4");
  EXPECT_EQ(Reason("0,00,00,00,119,000,00,00,000,01,254,008,000,0310,1"),
            "page is 50 characters long, not 47");
  EXPECT_EQ(Reason("0,00,00,00,119,000,00,00,000,01,254,008,000;031"),
            "13 fields, an FX page has 14");
  EXPECT_EQ(Reason("0,0a,00,00,119,000,00,00,000,01,254,008,000,031"),
            "character 4 is 'a', not a digit");

  auto result = mate::DecodePage("\n0,00,00,00,119,000,00,00,000,01,255,008,000,031\r");
  ASSERT_TRUE(std::holds_alternative<mate::Rejection>(result));
  EXPECT_EQ(std::get<mate::Rejection>(result).page,
            "0,00,00,00,119,000,00,00,000,01,255,008,000,031");
}

}  // namespace
