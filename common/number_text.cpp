#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace brivane {
namespace {

bool IsIgnored(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// "&H1F" and "&O17": digits of the base up to the first other character.
double PrefixedValue(const std::string& s, int base) {
  double value = 0;
  for (std::size_t i = 2; i < s.size(); ++i) {
    const char c = AsciiUpper(s[i]);
    int digit = -1;
    if (IsDigit(c)) {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    if (digit < 0 || digit >= base) {
      break;
    }
    value = value * base + digit;
  }
  return value;
}

// A decimal number too far from 1 for a double: true when it is too large (an infinity),
// false when too small (a zero). Decided by where its first significant digit lies.
bool BeyondTheLargest(std::string_view digits, std::string_view exponent) {
  long long magnitude = 0;
  const auto point = digits.find('.');
  const auto whole = digits.substr(0, point);
  const auto firstSignificant = whole.find_first_not_of('0');
  if (firstSignificant != std::string_view::npos) {
    magnitude = static_cast<long long>(whole.size() - firstSignificant);
  } else if (point != std::string_view::npos) {
    const auto fraction = digits.substr(point + 1);
    magnitude = -static_cast<long long>(fraction.find_first_not_of('0'));
  }
  long long power = 0;
  const bool negative = exponent.starts_with('-');
  for (char c : exponent) {
    if (IsDigit(c) && power < 1'000'000) {
      power = power * 10 + (c - '0');
    }
  }
  return magnitude + (negative ? -power : power) > 0;
}

// The longest leading decimal number: sign, digits, fraction, exponent. Read the same
// way in every locale, so a fraction always has a point and never a comma.
double DecimalValue(const std::string& s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i++] == '-';
  }
  std::string digits;
  bool anyDigit = false;
  while (i < s.size() && IsDigit(s[i])) {
    digits += s[i++];
    anyDigit = true;
  }
  if (i < s.size() && s[i] == '.') {
    digits += s[i++];
    while (i < s.size() && IsDigit(s[i])) {
      digits += s[i++];
      anyDigit = true;
    }
  }
  if (!anyDigit) {
    return 0;
  }
  std::string exponent;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    std::string sign;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      sign = s[j++];
    }
    const std::size_t first = j;
    while (j < s.size() && IsDigit(s[j])) {
      ++j;
    }
    if (j > first) {
      exponent = sign + s.substr(first, j - first);
    }
  }
  const std::string number = exponent.empty() ? digits : digits + 'e' + exponent;
  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error == std::errc::result_out_of_range) {
    value = BeyondTheLargest(digits, exponent) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

double NumericValue(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsIgnored(c)) {
      s += c;
    }
  }
  if (s.size() >= 2 && s[0] == '&') {
    const char prefix = AsciiUpper(s[1]);
    if (prefix == 'H') {
      return PrefixedValue(s, 16);
    }
    if (prefix == 'O') {
      return PrefixedValue(s, 8);
    }
    return 0;
  }
  return DecimalValue(s);
}

std::optional<std::int32_t> RoundHalfEven(double value) {
  // Beyond 2^32 the result is out of range anyway; below it the truncation to 64 bits and
  // the fraction left over are exact. Done by hand so the service needs no maths library.
  constexpr double kBeyond = 4294967296.0;
  if (!(value > -kBeyond && value < kBeyond)) {
    return std::nullopt;  // also NaN and the infinities
  }
  auto whole = static_cast<std::int64_t>(value);
  const double fraction = value - static_cast<double>(whole);
  const bool odd = whole % 2 != 0;
  if (fraction > 0.5 || (fraction == 0.5 && odd)) {
    ++whole;
  } else if (fraction < -0.5 || (fraction == -0.5 && odd)) {
    --whole;
  }
  if (whole < std::numeric_limits<std::int32_t>::min() ||
      whole > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(whole);
}

std::optional<std::int32_t> WholeNumberOf(std::string_view text) {
  return RoundHalfEven(NumericValue(text));
}

}  // namespace brivane
