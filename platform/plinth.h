// Small string and operating-system services the monitor relies on: bounded copies into
// caller buffers, numbered-placeholder formatting, the wall clock and path helpers.
// Every function here is safe to call from any thread and never throws.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "abi/records.h"

// Copies `source` into `destination`, which holds `size` bytes: at most size - 1 characters,
// then a terminating NUL. A size below 1 writes nothing; a null source copies the empty text.
// The last argument is accepted for the callers' sake and ignored.
void os_strncpy(char* destination, const char* source, int size, int unused = 0);

// The nine parameter texts of a numbered-placeholder template; a null entry counts as empty.
using FormatParameters = std::array<const char*, 9>;

// Writes `format` into `output` (size bytes) with every %1 .. %9 replaced by the parameter of
// that number; any other character, '%' included, is copied as it stands. The result is cut to
// size - 1 characters and always terminated; a size below 1 writes nothing. Returns the length
// written.
int os_FormatParameterizedString(std::string_view format, char* output, int size,
                                 const FormatParameters& parameters);

// Fills `*time` with the current wall-clock time: seconds since the epoch (32 bits, as the
// host's record keeps them), then microseconds. The argument after it is ignored. Returns 0.
int os_gettimeofday(SampleTime* time, int unused = 0);

// Writes into `output` (size bytes, terminated, cut to fit) the directory part of `path`:
// everything before its last directory separator (platform/files.h), or "." when it has none.
// Returns false when nothing fits.
bool os_get_dir_name(const char* path, char* output, int size);

// The last position of `character` in the NUL-terminated `text`, or null.
const char* os_strrchr(const char* text, char character);

// Fills the fixed-size character field `field` with `text`, cut to N - 1 characters, and
// zeroes every byte after it, so that the field is always terminated and holds no stale bytes.
// A field is a C string: a NUL inside `text` ends it, and nothing after that NUL is copied.
template <std::size_t N>
void CopyToField(char (&field)[N], std::string_view text) {
  static_assert(N > 0);
  text = text.substr(0, text.find('\0'));
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  for (std::size_t i = 0; i < N; ++i) field[i] = i < length ? text[i] : '\0';
}

// The non-empty pieces of `text` between occurrences of `separator` ("a::b:" gives a, b).
std::vector<std::string> SplitNonEmpty(std::string_view text, char separator);

// A newly allocated, NUL-terminated copy of `text` for the host, who gives it back through
// os_FreeText. Returns null when memory is exhausted.
char* os_AllocateText(std::string_view text, std::size_t capacity = 0);

// Releases a text from os_AllocateText; null is ignored.
void os_FreeText(char* text);
