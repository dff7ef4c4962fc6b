#include "reporting/messages.h"

#include <utility>

#include "platform/plinth.h"
#include "resources/string_table.h"

bool FormatTableMessage(std::string* target, int id, std::initializer_list<CStringParam> parameters) {
  const std::optional<std::string> format = LoadTableString(id);
  if (!format) return false;
  std::string text = FillPlaceholders(*format, MessageArguments(parameters.begin(), parameters.size()));
  constexpr std::size_t kKept = kTableMessageCapacity - 1;
  if (text.size() > kKept) text.resize(kKept);
  *target = std::move(text);
  return true;
}

void CopyCatalogueMessage(char* buffer, int size, std::int32_t id, MessageArguments arguments) {
  if (buffer == nullptr || size < 1) return;
  char* text = nullptr;
  FormatGenericMessage(id, arguments, &text);
  if (text != nullptr) {
    os_strncpy(buffer, text, size);
    FreeGenericMessage(text);
    return;
  }
  std::string fallback = "Message " + std::to_string(id) + " (no text in the message catalogue):";
  for (const MessageArgument& argument : arguments) fallback += " [" + argument.Text() + "]";
  os_strncpy(buffer, fallback.c_str(), size);
}

void CopyCatalogueMessage(char* buffer, int size, std::int32_t id, std::initializer_list<MessageArgument> arguments) {
  CopyCatalogueMessage(buffer, size, id, MessageArguments(arguments.begin(), arguments.size()));
}
