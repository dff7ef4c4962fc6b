// The message catalogue: an arbitrary text read as a catalogue file, and messages formatted
// with arguments.
//
// Checks: every line that starts with an identifier and a tab yields a message of that
// identifier unless an earlier line had it; a message never holds a line break the file did
// not escape; placeholders %1 .. %9 are replaced by their argument (nothing for a missing one)
// and every other character stays as written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/catalogue.h"

namespace {

// Placeholders filled the plain way, one character at a time.
std::string Filled(std::string_view text, const std::vector<std::string>& arguments) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool placeholder = text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9';
    if (!placeholder) {
      result += text[i];
      continue;
    }
    const std::size_t number = static_cast<std::size_t>(text[++i] - '1');
    if (number < arguments.size()) result += arguments[number];
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const MessageTable table = MessageTable::Parse(text);

  // Each line's identifier, when it has one, must be found; the first 64 lines are looked at.
  std::unordered_set<std::int32_t> seen;  // the message of a repeated identifier is its first line's
  std::string_view rest = text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
  for (int line_number = 0; line_number < 64 && !rest.empty(); ++line_number) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::size_t tab = line.find('\t');
    const std::string_view id_text = line.substr(0, tab);
    if (id_text.empty() || id_text.size() > 10) continue;
    std::size_t digits = id_text[0] == '-' ? 1 : 0;
    if (digits == id_text.size()) continue;
    bool numeric = true;
    for (std::size_t i = digits; i < id_text.size(); ++i) numeric = numeric && id_text[i] >= '0' && id_text[i] <= '9';
    if (!numeric) continue;
    const long long id = std::stoll(std::string(id_text));
    if (id < INT32_MIN || id > INT32_MAX) continue;
    const std::string* message = table.Find(static_cast<std::int32_t>(id));
    FUZZ_CHECK(message != nullptr);
    if (!seen.insert(static_cast<std::int32_t>(id)).second) continue;
    FUZZ_CHECK(message->find('\n') == std::string::npos || line.find("\\n") != std::string_view::npos);
  }

  const std::vector<std::string> texts = {"web1", "", "%1", "80", "a\tb", "%%", "x", "/.perf", "%9"};
  const MessageArgument arguments[] = {"web1", "", "%1", std::int32_t{80}, std::string("a\tb"),
                                       std::string_view("%%"), "x", "/.perf", "%9"};
  for (std::size_t count : {std::size_t{0}, std::size_t{3}, std::size_t{9}}) {
    const std::vector<std::string> given(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(count));
    FUZZ_CHECK(FillPlaceholders(text, MessageArguments(arguments, count)) == Filled(text, given));
  }
  if (const std::string* message = table.Find(-47490); message != nullptr) {
    FUZZ_CHECK(FillPlaceholders(*message, arguments) == Filled(*message, texts));
  }
  return 0;
}
