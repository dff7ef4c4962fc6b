// Files as the end-to-end tests read them: the staged installation the build wrote, and the text
// of a file a program left behind.
#pragma once

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

// `relative` inside the staged installation tree (SARVIK_STAGE_DIR, set by the build).
inline std::string Staged(const std::string& relative) { return std::string(SARVIK_STAGE_DIR) + "/" + relative; }

// The whole file at `path`, byte for byte; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// How often `part` occurs in `text`, overlapping occurrences included.
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}
