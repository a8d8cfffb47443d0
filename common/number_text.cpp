#include "common/number_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
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

// "&H1F" and "&O17": digits of the base up to the first other character.
double PrefixedValue(const std::string& s, int base) {
  double value = 0;
  for (std::size_t i = 2; i < s.size(); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
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

// The longest leading decimal number: sign, digits, fraction, exponent.
double DecimalValue(const std::string& s) {
  std::string number;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    number += s[i++];
  }
  bool anyDigit = false;
  while (i < s.size() && IsDigit(s[i])) {
    number += s[i++];
    anyDigit = true;
  }
  if (i < s.size() && s[i] == '.') {
    number += s[i++];
    while (i < s.size() && IsDigit(s[i])) {
      number += s[i++];
      anyDigit = true;
    }
  }
  if (!anyDigit) {
    return 0;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      exponent += s[j++];
    }
    bool exponentDigit = false;
    while (j < s.size() && IsDigit(s[j])) {
      exponent += s[j++];
      exponentDigit = true;
    }
    if (exponentDigit) {
      number += exponent;
    }
  }
  // strtod saturates to plus or minus HUGE_VAL (infinity) past the double range.
  return std::strtod(number.c_str(), nullptr);
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
    const char prefix = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
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
