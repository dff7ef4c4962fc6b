#include "tools/host/readable_number.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sarvik_host {

namespace {

constexpr int kDigits = 3;

// How the number of a unit is scaled.
enum class UnitFamily {
  kCount,   // no unit, or a word: a separate multiplier ("1.23 k", "1.23 k requests")
  kTime,    // seconds: prefixes below the unit only
  kSymbol,  // bytes, bits, hertz: prefixes above the unit only
  kPlain,   // "%": no prefix at all
};

struct ParsedUnit {
  UnitFamily family = UnitFamily::kCount;
  double scale = 1;   // what one of the given unit is in the base unit (1 ms = 0.001 s)
  std::string base;   // "s", "B", ... ; for a count the word that follows, if any
  std::string per;    // "/s" for a rate, else empty
};

struct Prefix {
  double factor;
  const char* symbol;
};

// Prefixes in rising order.
constexpr Prefix kTimePrefixes[] = {{1e-9, "n"}, {1e-6, "\u00b5"}, {1e-3, "m"}, {1, ""}};
constexpr Prefix kUpPrefixes[] = {{1, ""}, {1e3, "k"}, {1e6, "M"}, {1e9, "G"}, {1e12, "T"}, {1e15, "P"}};

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

ParsedUnit ParseUnit(std::string_view unit) {
  ParsedUnit parsed;
  while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
  while (!unit.empty() && unit.back() == ' ') unit.remove_suffix(1);
  if (unit.size() >= 2 && unit.substr(unit.size() - 2) == "/s") {
    parsed.per = "/s";
    unit.remove_suffix(2);
  }
  if (unit.empty()) return parsed;
  if (unit == "%") {
    parsed.family = UnitFamily::kPlain;
    parsed.base = "%";
    return parsed;
  }
  // A time unit, with the prefix it may already carry.
  struct Known {
    std::string_view text;
    double scale;
  };
  static constexpr Known kTimes[] = {{"s", 1},           {"sec", 1},          {"ms", 1e-3},
                                     {"us", 1e-6},       {"\u00b5s", 1e-6},   {"\u03bcs", 1e-6},
                                     {"ns", 1e-9}};
  for (const Known& time : kTimes) {
    if (unit == time.text) {
      parsed.family = UnitFamily::kTime;
      parsed.scale = time.scale;
      parsed.base = "s";
      return parsed;
    }
  }
  // Bytes, bits and hertz, with an upward prefix.
  static constexpr std::string_view kSymbols[] = {"B", "bit", "Hz"};
  static constexpr Known kScales[] = {{"", 1}, {"k", 1e3}, {"K", 1e3}, {"M", 1e6}, {"G", 1e9}, {"T", 1e12}, {"P", 1e15}};
  for (const std::string_view symbol : kSymbols) {
    for (const Known& scale : kScales) {
      if (unit.size() == scale.text.size() + symbol.size() && StartsWith(unit, scale.text) &&
          unit.substr(scale.text.size()) == symbol) {
        parsed.family = UnitFamily::kSymbol;
        parsed.scale = scale.scale;
        parsed.base = std::string(symbol);
        return parsed;
      }
    }
  }
  parsed.base = std::string(unit);
  return parsed;
}

// The digits of `magnitude` (not negative, finite): up to kDigits significant digits without
// trailing zeros; from 100 on whole, all of them (a number no prefix shortens keeps its digits).
std::string Digits(double magnitude) {
  char text[64];
  if (magnitude >= 100) {
    std::snprintf(text, sizeof text, "%.0f", magnitude);
  } else {
    std::snprintf(text, sizeof text, "%.*g", kDigits, magnitude);
  }
  return text;
}

// The magnitude (positive) and the prefix it is shown with, chosen from `prefixes` (rising):
// the largest prefix that leaves at least 1 before rounding, moved up when rounding reaches 1000.
template <std::size_t N>
std::string Scaled(double magnitude, const Prefix (&prefixes)[N], const char** symbol) {
  std::size_t chosen = 0;
  for (std::size_t i = 0; i < N; ++i) {
    if (magnitude >= prefixes[i].factor) chosen = i;
  }
  if (RoundToSignificant(magnitude / prefixes[chosen].factor, kDigits) >= 1000 && chosen + 1 < N) ++chosen;
  *symbol = prefixes[chosen].symbol;
  return Digits(magnitude / prefixes[chosen].factor);
}

}  // namespace

std::string ReadableNumber(double number, std::string_view unit) {
  const ParsedUnit parsed = ParseUnit(unit);
  if (!std::isfinite(number) || number == 0) {
    // Nothing to scale: the unit stays as it was given.
    while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
    while (!unit.empty() && unit.back() == ' ') unit.remove_suffix(1);
    const std::string digits = number == 0 ? "0" : std::string(kNoNumber);
    return unit.empty() ? digits : digits + " " + std::string(unit);
  }
  const double magnitude = std::fabs(number * parsed.scale);
  const char* prefix = "";
  std::string text = number < 0 ? "-" : "";
  switch (parsed.family) {
    case UnitFamily::kTime: text += Scaled(magnitude, kTimePrefixes, &prefix); break;
    case UnitFamily::kSymbol:
    case UnitFamily::kCount: text += Scaled(magnitude, kUpPrefixes, &prefix); break;
    case UnitFamily::kPlain:
    default: text += Digits(magnitude); break;
  }
  if (parsed.family == UnitFamily::kCount) {
    // The multiplier stands alone; a word unit follows it.
    const std::string after = std::string(prefix) + (parsed.base.empty() ? "" : (*prefix ? " " : "") + parsed.base) +
                              parsed.per;
    if (!after.empty()) text += " " + after;
  } else {
    text += " " + std::string(prefix) + parsed.base + parsed.per;
  }
  return text;
}

std::string CompactNumber(double number, std::string_view unit) {
  if (number == 0) return "0";  // the same in every unit
  const ParsedUnit parsed = ParseUnit(unit);
  // A count's word and any rate's "/s" are left to the column that shows the unit.
  std::string kept = parsed.family == UnitFamily::kCount ? std::string() : std::string(unit);
  if (!parsed.per.empty() && kept.size() >= 2) kept.resize(kept.size() - 2);
  std::string text = ReadableNumber(number, kept);
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  return text;
}

double RoundToSignificant(double number, int digits) {
  if (number == 0 || !std::isfinite(number)) return number;
  digits = std::clamp(digits, 1, 17);
  // Decimal rounding through the text, so that 4.565 rounds as it is written, not as its binary
  // neighbour would.
  char text[64];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, number);
  return std::strtod(text, nullptr);
}

std::string SignificantText(double number, int digits) {
  if (!std::isfinite(number)) return std::string(kNoNumber);
  digits = std::clamp(digits, 1, 17);
  int whole_digits = 0;
  for (double whole = std::fabs(number); whole >= 1 && whole_digits < 17; whole /= 10) ++whole_digits;
  const int precision = std::max(digits, whole_digits);
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", precision, number);
  std::string out = text;
  if (out == "-0") out = "0";
  return out;
}

std::string DisplayNumber(double number) {
  if (!std::isfinite(number)) return std::isnan(number) ? "nan" : (number > 0 ? "inf" : "-inf");
  char text[64];
  if (number == std::floor(number) && std::fabs(number) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", number);
  } else {
    std::snprintf(text, sizeof text, "%.6g", number);
  }
  return text;
}

}  // namespace sarvik_host
