// Whole-file reading for the configuration, the catalogue and recorded pages.
#pragma once

#include <cstddef>
#include <string>

// Reads at most `limit` bytes from the start of the file at `path` into `*contents`.
// Returns 0 on success, otherwise the errno value of the failure (`*contents` then empty).
int ReadFileStart(const std::string& path, std::string* contents, std::size_t limit);

// Reads the whole file (up to 64 MiB, a bound no configuration comes near).
inline int ReadWholeFile(const std::string& path, std::string* contents) {
  return ReadFileStart(path, contents, std::size_t{64} << 20);
}
