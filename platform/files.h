// Whole-file reading for the configuration, the catalogue and recorded pages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/status.h"

// Reads at most `limit` bytes from the start of the file at `path` into `*contents`.
// On failure returns a kSystemError Status carrying the errno value; `*contents` is then empty.
[[nodiscard]] Status ReadFileStart(const std::string& path, std::string* contents, std::size_t limit);

// Reads the whole file (up to 64 MiB, a bound no configuration comes near).
[[nodiscard]] inline Status ReadWholeFile(const std::string& path, std::string* contents) {
  return ReadFileStart(path, contents, std::size_t{64} << 20);
}

// The last directory separator in the NUL-terminated `path` ('/' here; '\\' or '/' on Windows),
// or null when it has none.
const char* FindLastPathSeparator(const char* path);

// `relative_path`, written with '/', as the system spells paths ('\\' on Windows).
std::string NativePath(std::string_view relative_path);
