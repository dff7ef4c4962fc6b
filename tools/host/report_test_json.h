// For the tests of the session report: a small JSON reader, enough to read back the data a
// report carries, and the way to find that data in the page.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sarvik_host::report_testing {

struct JsonValue {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<JsonValue> items;                             // an array's
  std::vector<std::pair<std::string, JsonValue>> members;  // an object's, in order

  bool is_null() const { return type == Type::kNull; }
  // The member `key` of an object, or nullptr.
  const JsonValue* Find(std::string_view key) const {
    for (const auto& [name, value] : members) {
      if (name == key) return &value;
    }
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  // The whole text as one value; nothing when it is not JSON.
  std::optional<JsonValue> ReadDocument() {
    std::optional<JsonValue> value = ReadValue(0);
    SkipBlanks();
    if (!value || at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) {
      ++at_;
    }
  }
  bool Take(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  static void AppendUtf8(unsigned code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  std::optional<std::string> ReadString() {
    if (!Take("\"")) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char escaped = text_[at_++];
      switch (escaped) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (at_ + 4 > text_.size()) return std::nullopt;
          const std::string hex(text_.substr(at_, 4));
          char* end = nullptr;
          const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
          if (end != hex.c_str() + 4) return std::nullopt;
          AppendUtf8(static_cast<unsigned>(code), &out);
          at_ += 4;
          break;
        }
        default: return std::nullopt;
      }
    }
    return std::nullopt;
  }
  std::optional<JsonValue> ReadValue(int depth) {
    if (depth > 64) return std::nullopt;
    SkipBlanks();
    JsonValue value;
    if (at_ >= text_.size()) return std::nullopt;
    const char c = text_[at_];
    if (Take("null")) return value;
    if (Take("true") || Take("false")) {
      value.type = JsonValue::Type::kBool;
      value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return value;
    }
    if (c == '"') {
      std::optional<std::string> text = ReadString();
      if (!text) return std::nullopt;
      value.type = JsonValue::Type::kString;
      value.text = std::move(*text);
      return value;
    }
    if (c == '[') {
      ++at_;
      value.type = JsonValue::Type::kArray;
      SkipBlanks();
      if (Take("]")) return value;
      for (;;) {
        std::optional<JsonValue> item = ReadValue(depth + 1);
        if (!item) return std::nullopt;
        value.items.push_back(std::move(*item));
        SkipBlanks();
        if (Take("]")) return value;
        if (!Take(",")) return std::nullopt;
      }
    }
    if (c == '{') {
      ++at_;
      value.type = JsonValue::Type::kObject;
      SkipBlanks();
      if (Take("}")) return value;
      for (;;) {
        SkipBlanks();
        std::optional<std::string> name = ReadString();
        if (!name) return std::nullopt;
        SkipBlanks();
        if (!Take(":")) return std::nullopt;
        std::optional<JsonValue> member = ReadValue(depth + 1);
        if (!member) return std::nullopt;
        value.members.emplace_back(std::move(*name), std::move(*member));
        SkipBlanks();
        if (Take("}")) return value;
        if (!Take(",")) return std::nullopt;
      }
    }
    // A number, as strict JSON writes it.
    const std::size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    while (at_ < text_.size() && std::string_view("0123456789.eE+-").find(text_[at_]) != std::string_view::npos) ++at_;
    if (at_ == start) return std::nullopt;
    const std::string number(text_.substr(start, at_ - start));
    char* end = nullptr;
    value.number = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size()) return std::nullopt;
    value.type = JsonValue::Type::kNumber;
    return value;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The data of a report page (see report.h), read back; nothing when the page has none or it
// is not JSON.
inline std::optional<JsonValue> ReportDataOf(std::string_view html) {
  constexpr std::string_view kOpen = "<script type=\"application/json\" id=\"report-data\">";
  const std::size_t open = html.find(kOpen);
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t start = open + kOpen.size();
  const std::size_t end = html.find("</script>", start);
  if (end == std::string_view::npos) return std::nullopt;
  return JsonReader(html.substr(start, end - start)).ReadDocument();
}

}  // namespace sarvik_host::report_testing
