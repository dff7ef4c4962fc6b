// Small text helpers shared by the platform's parsers. They look at ASCII only and ignore the
// locale, so they read a configuration file, an HTTP header or a catalogue the same way
// everywhere. Pure functions: any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// A space or a tab: the blanks that separate words in HTTP headers.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// White space as the C library sees it in the "C" locale: a space, or '\t' to '\r'.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// `c` with an ASCII capital letter turned into its small letter; every other byte unchanged.
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// `text` with every ASCII capital letter turned into its small letter.
inline std::string Lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}

// The signed decimal number at the very start of a text: an optional '+' or '-', then every
// digit up to the first other character.
struct LeadingDecimal {
  std::int32_t value = 0;  // the number, clamped to the 32-bit range; 0 without digits
  std::size_t length = 0;  // characters of sign and digits; 0 without digits
  bool clamped = false;    // the digits name a number outside the 32-bit range
};
LeadingDecimal ReadLeadingDecimal(std::string_view text);

// The leading integer of `text` by atoi's rules: white space, an optional sign, digits; 0 when
// there are none. Numbers beyond the 32-bit range are clamped to it.
std::int32_t ParseLeadingInteger(std::string_view text);


// `text` with each %1 .. %9 replaced by the argument of that number (empty when there are fewer
// arguments); every other character, '%' included, stays as written.
std::string FillPlaceholders(std::string_view text, std::span<const std::string_view> arguments);
