// The few POSIX calls the shared tests make (the environment, temporary directories), over the C
// runtime of Windows. Included ahead of every shared test source of the Windows build; the
// environment calls update the process environment too, where the plug-in reads it.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != nullptr) return 0;
  if (*value != '\0') return _putenv_s(name, value) == 0 ? 0 : -1;
  // The C runtime cannot hold a variable set to the empty text; the process environment can,
  // and that is where the plug-in looks.
  (void)_putenv_s(name, "");
  return SetEnvironmentVariableA(name, "") ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

// Replaces the trailing "XXXXXX" of `pattern` and creates that directory.
inline char* mkdtemp(char* pattern) {
  const size_t length = strlen(pattern);
  if (length < 6) return nullptr;
  char* const suffix = pattern + length - 6;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    unsigned value = GetCurrentProcessId() * 7919u + GetTickCount() + attempt * 104729u;
    for (int i = 0; i < 6; ++i) {
      suffix[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[value % 36];
      value /= 36;
    }
    if (_mkdir(pattern) == 0) return pattern;
  }
  return nullptr;
}
