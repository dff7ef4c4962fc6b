// Numbers written for a person: three significant digits, an SI prefix on the unit where one
// makes sense ("14.3 kB/s", "100 µs", "1.23 k"), and the same rounding for statistics tables.
// Pure functions of their arguments; any thread may call them.
#pragma once

#include <string>
#include <string_view>

namespace sarvik_host {

// The text for a number that is not finite (NaN, an infinity): an en dash.
inline constexpr std::string_view kNoNumber = "\u2013";

// `number` in `unit`, with three significant digits, trailing zeros dropped ("1.5 s", not
// "1.50 s"), whole numbers below 1000 without decimals ("812"), and the prefix that brings the
// number below 1000:
// - Times ("s", "ms", "us", "µs", "ns") go down to ns and up to s: 0.5 ms is "500 µs", 1500 ms
//   is "1.5 s"; from 1000 s on the seconds are whole ("3600 s").
// - Bytes, bits and hertz ("B", "KB", "kB", "MB", "GB", "TB", "bit", "Hz", ...) go up to peta but
//   not below the unit: 0.5 B is "0.5 B". "K" and "k" both mean 1000.
// - A count (no unit) takes a separate multiplier: "1.23 k", "4.5 M", "812", "0.333".
// - A rate is any of these followed by "/s": "14.3 kB/s", "1.23 k/s", "30 /s".
// - "%" takes no prefix ("45.7 %", "12345 %"); any other unit (a word such as "requests") follows
//   a count's number: "1.23 k requests".
// Negative numbers keep their sign ("-14.3 kB/s"), zero is "0" with its unit, and a number that
// is not finite is kNoNumber with its unit.
std::string ReadableNumber(double number, std::string_view unit = {});

// ReadableNumber's text made short for a range beside a column that names the unit: without
// spaces and without "/s", the unit kept only where it changes the meaning of a prefix (times,
// bytes, bits, hertz) or is "%": "14.3kB", "100µs", "1.23k", "45.7%", "812"; zero is "0".
std::string CompactNumber(double number, std::string_view unit = {});

// `number` rounded to `digits` significant digits (1 to 17): 4.56789 to 3 digits is 4.57,
// 12345 to 3 digits is 12300. Zero and numbers that are not finite come back unchanged.
double RoundToSignificant(double number, int digits);

// `number` as text for a statistics table: `digits` significant digits (1 to 17) without trailing
// zeros ("4.56", "0.00123", "2"), except that the whole part is never rounded away (12345.678 to
// 3 digits is "12346"). Numbers that are not finite are kNoNumber.
std::string SignificantText(double number, int digits);

// A number for a person: integers without decimals, others with up to six significant digits.
// For settings the user typed ("every 0.25 s"), where the exact value matters more than its size.
std::string DisplayNumber(double number);

}  // namespace sarvik_host
