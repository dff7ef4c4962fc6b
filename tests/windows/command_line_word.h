// One argument of a Windows command line, quoted so that the C runtime of the started program
// (and Wine, for a Unix program) splits it back into the same word: in quotes, with backslashes
// doubled before a quote and at the end.
#pragma once

#include <cstddef>
#include <string>

inline std::string CommandLineWord(const std::string& word) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}
