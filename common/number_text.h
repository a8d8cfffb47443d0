#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// How every number typed by a person is read: settings values, address pieces and
// the console's command line all go through here.
namespace brivane {

// The value of the longest leading number of a text. Blanks, tabs and line feeds
// anywhere are ignored; an optional sign, digits, an optional fraction and exponent
// are read, or a hexadecimal number after "&H" and an octal one after "&O". Reading
// stops at the first character that cannot continue the number, so "12abc" is 12;
// a text without a leading number ("", "x7") is 0. A number too large for a double
// comes back as plus or minus infinity.
double NumericValue(std::string_view text);

// The nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
// Nothing when the value is not finite or lies outside the signed 32-bit range.
std::optional<std::int32_t> RoundHalfEven(double value);

// Both together: the whole number that a text stands for, or nothing when it is
// beyond the 32-bit range.
std::optional<std::int32_t> WholeNumberOf(std::string_view text);

}  // namespace brivane
