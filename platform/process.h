// Facts about the running process: the host program's own path and the environment.
#pragma once

#include <optional>
#include <string>

#include "platform/status.h"

// The full path of the host program's executable (the process's main program, not this
// library). On failure a kSystemError Status carrying the errno value (never 0).
[[nodiscard]] Result<std::string> GetExecutablePath();

// Replaces the executable path seen by GetExecutablePath, for tests only; nullopt restores
// the real one, an empty text makes the look-up fail with ENOENT.
void TEST_SetExecutablePath(std::optional<std::string> path);

// The value of environment variable `name`, or nullopt when it is not set (a variable set to
// the empty text is set).
std::optional<std::string> GetEnvironment(const char* name);

// The threads of the plug-in's servers are named this, so that an operator's thread view (and a
// test) can tell them from the host's own.
inline constexpr char kPollingThreadName[] = "sarvik-poll";

// Names the calling thread `name` (at most 15 characters are kept) where the system names
// threads; nothing otherwise.
void NameCurrentThread(const char* name);

// Which edition of the texts and the dialog the process locale asks for.
enum class Edition { kEnglish, kSimplifiedChinese };

// The edition chosen by the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty:
// Simplified Chinese when it starts with "zh_CN" or "zh_SG", English otherwise.
Edition CurrentEdition();
