#include "platform/text.h"

#include <algorithm>

LeadingDecimal ReadLeadingDecimal(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t first_digit = i;
  // Held just beyond the range once it gets there, so that no run of digits can overflow it.
  constexpr std::int64_t kBeyondRange = std::int64_t{INT32_MAX} + 2;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kBeyondRange);
  }
  LeadingDecimal number;
  if (i == first_digit) return number;
  const std::int64_t value = negative ? -magnitude : magnitude;
  number.value = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
  number.length = i;
  number.clamped = number.value != value;
  return number;
}

std::int32_t ParseLeadingInteger(std::string_view text) {
  std::size_t blanks = 0;
  while (blanks < text.size() && IsSpace(text[blanks])) ++blanks;
  return ReadLeadingDecimal(text.substr(blanks)).value;
}

std::string FillPlaceholders(std::string_view text, std::span<const std::string_view> arguments) {
  std::string result;
  result.reserve(text.size() + 64);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const std::size_t number = static_cast<std::size_t>(text[i + 1] - '1');
      if (number < arguments.size()) result += arguments[number];
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}
