// Small text helpers shared by the platform's parsers. They look at ASCII only and ignore the
// locale, so they read a configuration file or an HTTP header the same way everywhere. Pure
// functions: any thread may call them.
#pragma once

#include <string>
#include <string_view>

// A space or a tab: the blanks that separate words in HTTP headers.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `c` with an ASCII capital letter turned into its small letter; every other byte unchanged.
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// `text` with every ASCII capital letter turned into its small letter.
inline std::string Lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = Lower(c);
  return lowered;
}
