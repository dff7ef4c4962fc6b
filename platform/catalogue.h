// The message catalogue: numbered message texts with placeholders %1 .. %9, loaded from
// catalogue files and formatted with typed arguments.
//
// File format (UTF-8 text): one message a line, `IDENTIFIER<TAB>TEXT`, where IDENTIFIER is a
// decimal integer (the monitor's catalogue messages are negative). Lines starting with '#'
// and blank lines are skipped; a line that does not start with an integer is ignored. In TEXT,
// `\n` stands for a line break, `\t` for a tab and `\\` for a backslash; any other backslash is
// kept. An identifier without a text (no tab, or nothing after it) formats to the empty text.
// Of two lines with one identifier the first counts.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/status.h"

// One argument of a message, for the catalogue and the string table alike: a copy of a text, or
// a 32-bit integer written in a radix from 2 to 36 (decimal unless told; any other radix counts
// as decimal), with a leading '-' for a negative number.
class MessageArgument {
 public:
  MessageArgument(const char* text = "") : text_(text == nullptr ? "" : text) {}
  MessageArgument(std::string text) : text_(std::move(text)) {}
  MessageArgument(std::string_view text) : text_(text) {}
  MessageArgument(std::int32_t number, int radix = 10);

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

using MessageArguments = std::span<const MessageArgument>;

// The messages of one catalogue file (or of any text in the same format).
class MessageTable {
 public:
  static MessageTable Parse(std::string_view text);

  // The text of message `id`, or null when the table has no such message.
  const std::string* Find(std::int32_t id) const;

 private:
  std::unordered_map<std::int32_t, std::string> texts_;
};

// `text` with each %1 .. %9 replaced by the argument of that number (empty when there are
// fewer arguments); every other character, '%' included, stays as written (see platform/text.h).
std::string FillPlaceholders(std::string_view text, MessageArguments arguments);

// The process-wide catalogue. All six operations may be called from any thread at any time.

// Prepares the catalogue for use. Safe to call more than once.
void MsgHandlerInitFunction();

// Opens the catalogue file `path_without_extension` + ".e2" and adds its messages.
// Returns ok when the file was read; a kSystemError Status with the errno when it could not be.
[[nodiscard]] Status AddResourceFile(const std::string& path_without_extension);

// Sets `*text` to a newly allocated, NUL-terminated text: message `id` filled with
// `arguments`, from the first added file that holds it. Leaves `*text` null when no added
// file holds the message. The text is given back with FreeGenericMessage.
void FormatGenericMessage(std::int32_t id, MessageArguments arguments, char** text);
void FormatGenericMessage(std::int32_t id, std::initializer_list<MessageArgument> arguments, char** text);

// Releases a text from FormatGenericMessage; null is ignored.
void FreeGenericMessage(char* text);

// Removes the messages of a file added under `path_without_extension`; an unknown path is ignored.
void RemoveResourceFile(const std::string& path_without_extension);

// Removes every added file.
void MsgHandlerDestroyFunction();
