#include "reporting/messages.h"

#include <array>

#include "platform/plinth.h"
#include "resources/string_table.h"

CStringParam::CStringParam(std::int32_t number, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  // Widened so that the most negative number has a magnitude.
  std::int64_t magnitude = number;
  const bool negative = magnitude < 0;
  if (negative) magnitude = -magnitude;
  std::string digits;
  do {
    const int digit = static_cast<int>(magnitude % radix);
    digits.insert(digits.begin(), static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10));
    magnitude /= radix;
  } while (magnitude != 0);
  text_ = negative ? "-" + digits : digits;
}

bool FormatTableMessage(std::string* target, int id, std::initializer_list<CStringParam> parameters) {
  const std::optional<std::string> format = LoadTableString(id);
  if (!format) return false;
  FormatParameters texts{};
  std::size_t i = 0;
  for (const CStringParam& parameter : parameters) {
    if (i == texts.size()) break;
    texts[i++] = parameter.text();
  }
  char output[kTableMessageCapacity];
  const int length = os_FormatParameterizedString(*format, output, sizeof output, texts);
  target->assign(output, static_cast<std::size_t>(length));
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
