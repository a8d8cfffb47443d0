// Number reading with any text: never undefined behaviour (UBSan watches the
// conversions), and the rounding keeps its promises.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "common/number_text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsIgnored(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Two readings agree: equal, or both not a number.
bool Same(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

void CheckRounding(double value) {
  const auto whole = brivane::RoundHalfEven(value);
  if (!std::isfinite(value) || value < -2147483648.5 || value > 2147483647.5) {
    FUZZ_REQUIRE(!whole);
    return;
  }
  if (!whole) {
    // Only the halves at the very ends may fall out, to the even neighbour beyond.
    FUZZ_REQUIRE(value == -2147483648.5 || value == 2147483647.5);
    return;
  }
  const double distance = std::fabs(static_cast<double>(*whole) - value);
  FUZZ_REQUIRE(distance <= 0.5);
  if (distance == 0.5) {
    FUZZ_REQUIRE(*whole % 2 == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double value = brivane::NumericValue(text);

  FUZZ_REQUIRE(!std::isnan(value));
  const auto whole = brivane::WholeNumberOf(text);
  const auto rounded = brivane::RoundHalfEven(value);
  FUZZ_REQUIRE(whole == rounded);
  CheckRounding(value);

  // Blanks, tabs and line feeds anywhere are ignored.
  std::string squeezed;
  for (char c : text) {
    if (!IsIgnored(c)) {
      squeezed += c;
    }
  }
  FUZZ_REQUIRE(Same(brivane::NumericValue(squeezed), value));

  // A character that cannot continue any number ends the reading where it stands.
  FUZZ_REQUIRE(Same(brivane::NumericValue(std::string(text) + "x"), value));
  FUZZ_REQUIRE(Same(brivane::NumericValue(std::string(text) + ",5"), value));

  // Plain digits read as the whole number they spell.
  if (!squeezed.empty() && squeezed.size() <= 9 &&
      squeezed.find_first_not_of("0123456789") == std::string::npos) {
    FUZZ_REQUIRE(whole && *whole == std::stoi(squeezed));
  }

  // The raw bytes as a double: NaN, infinities, denormals and the edges of the range.
  if (size >= sizeof(double)) {
    double raw;
    std::memcpy(&raw, data, sizeof raw);
    CheckRounding(raw);
  }
  return 0;
}
