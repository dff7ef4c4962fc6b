// The library's own string table: messages 10001 to 10008, with placeholders %1 .. %9,
// in the English and the Simplified Chinese edition. Both editions are compiled in.
#pragma once

#include <optional>
#include <string>

#include "platform/process.h"

enum StringTableId : int {
  kMsgConfigFileName = 10001,
  kMsgCannotCreateThread = 10002,
  kMsgNoCounters = 10003,
  kMsgAlreadyInitialized = 10004,
  kMsgNotInitialized = 10005,
  kMsgCannotCreateMeasurement = 10006,
  kMsgCannotConnect = 10007,
  kMsgCannotDeleteMeasurement = 10008,
};

// The template of message `id` in `edition`, or nullopt when the table has none.
// Safe to call from any thread.
std::optional<std::string> LoadTableString(int id, Edition edition);

// The same in the edition that the process locale asks for now.
inline std::optional<std::string> LoadTableString(int id) { return LoadTableString(id, CurrentEdition()); }
