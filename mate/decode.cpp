#include "mate/decode.h"

#include <array>
#include <cstdio>
#include <span>
#include <vector>

#include "mate/address.h"
#include "mate/checksum.h"
#include "mate/code_texts.h"

namespace mate {

namespace {

constexpr std::size_t kPageLength = 47;

// Field widths, address and checksum included; with the commas each adds up to 47.
constexpr std::array<std::size_t, 14> kFxWidths = {1, 2, 2, 2, 3, 3, 2, 2, 3, 2, 3, 3, 3, 3};
constexpr std::array<std::size_t, 14> kMxWidths = {1, 2, 2, 2, 3, 3, 2, 2, 3, 2, 3, 4, 2, 3};
constexpr std::array<std::size_t, 12> kFndcWidths = {1, 4, 4, 4, 2, 5, 3, 3, 3, 2, 2, 3};

std::span<const std::size_t> WidthsOf(DeviceType type) {
  switch (type) {
    case DeviceType::Mx:
      return kMxWidths;
    case DeviceType::Fndc:
      return kFndcWidths;
    case DeviceType::Fx:
    default:
      return kFxWidths;
  }
}

std::string_view PageNameOf(DeviceType type) {
  switch (type) {
    case DeviceType::Mx:
      return "an MX page";
    case DeviceType::Fndc:
      return "a FLEXnet DC page";
    case DeviceType::Fx:
    default:
      return "an FX page";
  }
}

std::vector<std::string_view> SplitFields(std::string_view page) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = page.find(',', start);
    fields.push_back(page.substr(start, comma - start));
    if (comma == std::string_view::npos) {
      return fields;
    }
    start = comma + 1;
  }
}

// The fields of a page whose shape matches its type, or the reason it does not.
std::variant<std::vector<int>, std::string> ReadFields(std::string_view page, DeviceType type) {
  const auto widths = WidthsOf(type);
  const auto fields = SplitFields(page);
  if (fields.size() != widths.size()) {
    return std::to_string(fields.size()) + " fields, " + std::string(PageNameOf(type)) + " has " +
           std::to_string(widths.size());
  }
  for (std::size_t i = 1; i < fields.size(); ++i) {
    if (fields[i].size() != widths[i]) {
      return "field " + std::to_string(i + 1) + " is " + std::to_string(fields[i].size()) +
             " characters wide, not " + std::to_string(widths[i]);
    }
  }
  for (std::size_t at = 1; at < page.size(); ++at) {
    const char c = page[at];
    if (c != ',' && (c < '0' || c > '9')) {
      return "character " + std::to_string(at + 1) + " is '" + VisibleText(page.substr(at, 1)) +
             "', not a digit";
    }
  }
  std::vector<int> values;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    int value = 0;
    for (char c : fields[i]) {
      value = value * 10 + (c - '0');
    }
    values.push_back(value);
  }
  return values;
}

// value / divisor, exact to the page's resolution (248 / 10 is the double nearest 24.8).
double Scaled(int value, int divisor) {
  return static_cast<double>(value) / divisor;
}

FxValues FxFrom(const std::vector<int>& f) {
  FxValues fx;
  fx.misc_bits = f[10];
  fx.is_230v = (fx.misc_bits & 1) != 0;
  fx.aux_output = (fx.misc_bits & 128) != 0;
  // A 230 V unit reports half its voltages and twice its currents.
  const int currentDivisor = fx.is_230v ? 2 : 1;
  const int voltageFactor = fx.is_230v ? 2 : 1;
  fx.inverter_current = Scaled(f[0], currentDivisor);
  fx.charger_current = Scaled(f[1], currentDivisor);
  fx.buy_current = Scaled(f[2], currentDivisor);
  fx.ac_input_voltage = f[3] * voltageFactor;
  fx.ac_output_voltage = f[4] * voltageFactor;
  fx.sell_current = Scaled(f[5], currentDivisor);
  fx.operating_mode_code = f[6];
  fx.operating_mode = FxOperatingModeText(f[6]);
  fx.error_bits = f[7];
  fx.errors = FxErrorTexts(f[7]);
  fx.ac_mode_code = f[8];
  fx.ac_mode = FxAcModeText(f[8]);
  fx.battery_voltage = Scaled(f[9], 10);
  fx.warning_bits = f[11];
  fx.warnings = FxWarningTexts(f[11]);
  return fx;
}

MxValues MxFrom(const std::vector<int>& f) {
  MxValues mx;
  // Whole amps, and tenths in the last digit of the field after daily kWh.
  const int chargerTenths = f[1] * 10 + f[5] % 10;
  const int batteryTenths = f[9];
  mx.charger_current = Scaled(chargerTenths, 10);
  mx.pv_current = f[2];
  mx.pv_voltage = f[3];
  mx.pv_power = mx.pv_voltage * mx.pv_current;
  mx.charger_power = Scaled(batteryTenths * chargerTenths, 100);
  mx.daily_kwh = Scaled(f[4], 10);
  mx.aux_mode_code = f[6];
  mx.aux_active = (f[6] & 64) != 0;
  mx.aux_mode = MxAuxModeText(f[6] & 63);
  mx.error_bits = f[7];
  mx.errors = MxErrorTexts(f[7]);
  mx.charger_mode_code = f[8];
  mx.charger_mode = MxChargerModeText(f[8]);
  mx.battery_voltage = Scaled(batteryTenths, 10);
  if (f[10] != 9999) {
    mx.daily_ah = f[10];
  }
  return mx;
}

// Ah and % are whole, kWh in hundredths, days in tenths.
int ExtraDataDivisor(int kind) {
  switch (kind) {
    case 1:
    case 3:
    case 5:
    case 10:
    case 11:
    case 13:
      return 100;
    case 6:
      return 10;
    default:
      return 1;
  }
}

FndcValues FndcFrom(const std::vector<int>& f, std::string_view enableFlags) {
  FndcValues dc;
  dc.status_bits = f[8];
  dc.charge_parameters_met = (dc.status_bits & 1) != 0;
  dc.relay_automatic = (dc.status_bits & 2) != 0;
  dc.relay_closed = (dc.status_bits & 4) != 0;
  // Magnitudes in tenths of an amp; the status flags say which shunts discharge.
  auto shunt = [&](int tenths, int negativeFlag) {
    return Scaled((dc.status_bits & negativeFlag) != 0 ? -tenths : tenths, 10);
  };
  dc.shunt_a_current = shunt(f[0], 8);
  dc.shunt_b_current = shunt(f[1], 16);
  dc.shunt_c_current = shunt(f[2], 32);
  dc.extra.kind = f[3] & 63;
  dc.extra.negative = (f[3] & 64) != 0;
  dc.extra.raw = f[4];
  dc.extra.value = Scaled(dc.extra.negative ? -f[4] : f[4], ExtraDataDivisor(dc.extra.kind));
  dc.battery_voltage = Scaled(f[5], 10);
  dc.state_of_charge = f[6];
  // One digit per shunt, A first: 0 means the shunt is in use.
  dc.shunt_a_enabled = enableFlags[0] == '0';
  dc.shunt_b_enabled = enableFlags[1] == '0';
  dc.shunt_c_enabled = enableFlags[2] == '0';
  if (f[9] != 99) {
    dc.battery_temperature = f[9] - 10;
  }
  return dc;
}

std::string ThreeDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03d", value);
  return text;
}

}  // namespace

std::string VisibleText(std::string_view text) {
  std::string visible;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && c != '\\' && c != '"') {
      visible += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      visible += escaped;
    }
  }
  return visible;
}

std::variant<Page, Rejection> DecodePage(std::string_view record) {
  if (!record.empty() && record.front() == '\n') {
    record.remove_prefix(1);
  }
  if (!record.empty() && record.back() == '\r') {
    record.remove_suffix(1);
  }
  auto reject = [&](std::string reason) {
    return Rejection{std::move(reason), std::string(record)};
  };
  if (record.size() != kPageLength) {
    return reject("page is " + std::to_string(record.size()) + " characters long, not 47");
  }
  const auto address = AddressOf(record[0]);
  if (!address) {
    return reject("unknown address '" + VisibleText(record.substr(0, 1)) + "'");
  }
  auto fields = ReadFields(record, address->type);
  if (const auto* reason = std::get_if<std::string>(&fields)) {
    return reject(*reason);
  }
  const auto& values = std::get<std::vector<int>>(fields);
  const std::size_t checksumAt = record.rfind(',');
  const int sum = PageChecksum(record.substr(0, checksumAt));
  if (sum != values.back()) {
    return reject("checksum is " + std::string(record.substr(checksumAt + 1)) +
                  ", the digits add up to " + ThreeDigits(sum));
  }

  Page page;
  page.type = address->type;
  page.address = record[0];
  page.port = address->port;
  page.raw = std::string(record);
  switch (address->type) {
    case DeviceType::Fx:
      page.values = FxFrom(values);
      break;
    case DeviceType::Mx:
      page.values = MxFrom(values);
      break;
    case DeviceType::Fndc:
      page.values = FndcFrom(values, SplitFields(record)[8]);
      break;
  }
  return page;
}

}  // namespace mate
