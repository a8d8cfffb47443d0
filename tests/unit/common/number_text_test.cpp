#include "common/number_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

namespace brivane {
namespace {

TEST(NumericValue, ReadsTheLongestLeadingNumber) {
  EXPECT_EQ(NumericValue("12abc"), 12);
  EXPECT_EQ(NumericValue("80abc"), 80);
  EXPECT_EQ(NumericValue(""), 0);
  EXPECT_EQ(NumericValue("x7"), 0);
  EXPECT_EQ(NumericValue("-"), 0);
  EXPECT_EQ(NumericValue("."), 0);
  EXPECT_EQ(NumericValue("1.2.3"), 1.2);
  EXPECT_EQ(NumericValue("10.0.0.1:80"), 10.0);
  EXPECT_EQ(NumericValue("1:80"), 1);
}

TEST(NumericValue, IgnoresBlanksTabsAndLineFeedsAnywhere) {
  EXPECT_EQ(NumericValue(" 3"), 3);
  EXPECT_EQ(NumericValue("1 2\t3\n4"), 1234);
  EXPECT_EQ(NumericValue(" - 5"), -5);
  // A carriage return is not a blank: it ends the number.
  EXPECT_EQ(NumericValue("1\r2"), 1);
}

TEST(NumericValue, ReadsSignFractionAndExponent) {
  EXPECT_EQ(NumericValue("-1"), -1);
  EXPECT_EQ(NumericValue("+7"), 7);
  EXPECT_EQ(NumericValue(".5"), 0.5);
  EXPECT_EQ(NumericValue("2."), 2);
  EXPECT_EQ(NumericValue("1e3"), 1000);
  EXPECT_EQ(NumericValue("1E-2"), 0.01);
  EXPECT_EQ(NumericValue("25e+1x"), 250);
  // An exponent without digits is not part of the number.
  EXPECT_EQ(NumericValue("4e"), 4);
  EXPECT_EQ(NumericValue("4e+"), 4);
}

TEST(NumericValue, ReadsHexadecimalAndOctalPrefixes) {
  EXPECT_EQ(NumericValue("&H1F"), 31);
  EXPECT_EQ(NumericValue("&hff"), 255);
  EXPECT_EQ(NumericValue("&O17"), 15);
  EXPECT_EQ(NumericValue("&O19"), 1);  // 9 is no octal digit
  EXPECT_EQ(NumericValue("&HG"), 0);
  EXPECT_EQ(NumericValue("&X1"), 0);
  EXPECT_EQ(NumericValue("&"), 0);
}

TEST(NumericValue, HugeNumbersAreInfiniteNotUndefined) {
  EXPECT_TRUE(std::isinf(NumericValue("1e999")));
  EXPECT_TRUE(std::isinf(NumericValue(std::string(400, '9'))));
  EXPECT_TRUE(std::isinf(NumericValue("-1e999")));
  EXPECT_FALSE(WholeNumberOf("1e999").has_value());
  EXPECT_FALSE(WholeNumberOf("&HFFFFFFFFFFFFFFFFFFFFFFFFFF").has_value());
  // Too small for a double is zero, however the digits are spread around the point.
  EXPECT_EQ(NumericValue("1e-999"), 0);
  EXPECT_EQ(NumericValue("-0.0001e-999"), 0);
  EXPECT_TRUE(std::isinf(NumericValue("0.001e99999999999999999999")));
  EXPECT_EQ(NumericValue("1000e-99999999999999999999"), 0);
}

TEST(RoundHalfEven, RoundsHalvesToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(2.6), 3);
  EXPECT_EQ(RoundHalfEven(2.4), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-3.5), -4);
  EXPECT_EQ(RoundHalfEven(-2.6), -3);
  EXPECT_EQ(RoundHalfEven(0.49999999999999994), 0);
  EXPECT_EQ(RoundHalfEven(4503599627370495.5 - 4503599627370000.0), 496);
  EXPECT_EQ(WholeNumberOf("8466.5"), 8466);
  EXPECT_EQ(WholeNumberOf("8467.5"), 8468);
}

TEST(RoundHalfEven, OutsideThe32BitRangeIsNothing) {
  EXPECT_EQ(RoundHalfEven(2147483647.0), 2147483647);
  EXPECT_EQ(RoundHalfEven(-2147483648.0), -2147483647 - 1);
  EXPECT_FALSE(RoundHalfEven(2147483648.0).has_value());
  EXPECT_FALSE(RoundHalfEven(-2147483649.0).has_value());
  EXPECT_EQ(RoundHalfEven(2147483647.4), 2147483647);
  EXPECT_FALSE(RoundHalfEven(2147483647.5).has_value());
  EXPECT_EQ(RoundHalfEven(-2147483648.5), -2147483647 - 1);
  EXPECT_FALSE(RoundHalfEven(-2147483649.5).has_value());
  EXPECT_FALSE(RoundHalfEven(4294967296.0).has_value());
  EXPECT_FALSE(RoundHalfEven(-1e300).has_value());
  EXPECT_FALSE(RoundHalfEven(INFINITY).has_value());
  EXPECT_FALSE(RoundHalfEven(NAN).has_value());
  EXPECT_FALSE(WholeNumberOf("99999999999").has_value());
}

// The console adopts the desktop's locale and the service keeps the C locale; both must
// read a number alike. ctest runs this again as unit_common.de_DE, in a comma locale.
TEST(NumberText, ReadsAsInTheCLocaleWhateverTheLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  const char* wanted = std::getenv("LC_ALL");
  const bool commaLocale = wanted != nullptr && std::string(wanted).starts_with("de_DE");
  const char* adopted = std::setlocale(LC_ALL, "");
  if (commaLocale) {
    ASSERT_NE(adopted, nullptr) << "locale " << wanted << " is not available";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  }
  EXPECT_EQ(NumericValue("9000.7"), 9000.7);
  EXPECT_EQ(WholeNumberOf("8467.5"), 8468);
  EXPECT_EQ(WholeNumberOf("8466.5"), 8466);
  EXPECT_EQ(NumericValue("1,5"), 1);
  EXPECT_EQ(NumericValue("-2.25e1"), -22.5);
  EXPECT_TRUE(std::isinf(NumericValue("1e999")));
  EXPECT_EQ(NumericValue("&hff"), 255);
  std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
}  // namespace brivane
