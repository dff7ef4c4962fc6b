#include "resources/string_table.h"

#include "platform/catalogue.h"

extern const char kStringsEnglish[];
extern const char kStringsSimplifiedChinese[];

std::optional<std::string> LoadTableString(int id, Edition edition) {
  // Parsed once, on first use; static initialisation of locals is thread-safe.
  static const MessageTable english = MessageTable::Parse(kStringsEnglish);
  static const MessageTable chinese = MessageTable::Parse(kStringsSimplifiedChinese);
  const MessageTable& table = edition == Edition::kSimplifiedChinese ? chinese : english;
  const std::string* text = table.Find(id);
  if (text == nullptr) return std::nullopt;
  return *text;
}
