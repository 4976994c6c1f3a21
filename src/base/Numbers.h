// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zvk {

// Numbers are always formatted and parsed with "." as the decimal separator. The window's
// toolkit switches the C library to the user's locale, so nothing here may use printf or
// strtod for floating-point numbers.

// Fixed-point with the given number of decimals.
std::string fixedText(double value, int decimals);
// Upper-case hexadecimal without prefix, zero-padded to at least minDigits digits.
std::string hexText(unsigned long long value, int minDigits);
// The same appended to out, without a string of its own (for texts made in bulk).
void appendHexText(std::string& out, unsigned long long value, int minDigits);
// A whole text as a floating-point number in C-locale syntax (no blanks, no comma);
// nullopt when it is not one.
std::optional<double> parseDouble(std::string_view text);
// The one integer reader of the program. A whole text, no blanks: decimal digits, or with
// hexPrefix "0x"/"0X" and hexadecimal digits, or with bareHex hexadecimal digits alone; a
// leading '-' or '+' only with sign. nullopt when the text is none of these or the value
// lies outside min..max.
struct IntegerSyntax {
    bool sign = false;
    bool hexPrefix = true;
    bool bareHex = false;
    long long min = INT64_MIN;
    long long max = INT64_MAX;
};
std::optional<long long> parseInteger(std::string_view text, const IntegerSyntax& syntax);
// The one-line refusal of a text that is no integer: what: "text" is not an integer.
std::string notAnInteger(std::string_view what, std::string_view text);

// The reading rules built on it.
// A whole text as a decimal integer (optional leading '-' or '+'); nullopt otherwise.
std::optional<long long> parseDecimal(std::string_view text);
// A whole text as a hexadecimal integer (no prefix, no sign); nullopt otherwise.
std::optional<long long> parseHex(std::string_view text);
// The same, limited to what 32 bits hold: a signed decimal and an unsigned hexadecimal.
std::optional<int32_t> parseDecimal32(std::string_view text);
std::optional<uint32_t> parseHex32(std::string_view text);

// A frequency in MHz as every display and file shows it: fixed-point with three
// decimals after rounding to seven significant digits, "." always; beyond seven integer
// digits exponent form.
// The digits are rounded half away from zero (12345.678 -> "12345.680", 0.0005 ->
// "0.001"); a value that rounds to zero shows "0.000" without a sign. From 10,000,000 on
// the form is seven significant digits with a signed two-digit (or longer) exponent,
// "1.234568E+07"; infinities and NaN show "INF", "-INF" and "NAN".
std::string formatFrequency(double mhz);

}  // namespace zvk
