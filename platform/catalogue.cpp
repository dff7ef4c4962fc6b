#include "platform/catalogue.h"

#include "platform/files.h"

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

std::string MessageArgument::Text() const {
  if (const auto* number = std::get_if<std::int32_t>(&value_)) return std::to_string(*number);
  return std::get<std::string>(value_);
}

namespace {

bool ParseIdentifier(std::string_view text, std::int32_t* id) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  if (i >= text.size()) return false;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > (std::int64_t{1} << 31)) return false;
  }
  value = negative ? -value : value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  *id = static_cast<std::int32_t>(value);
  return true;
}

std::string Unescape(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[i + 1];
      if (next == 'n' || next == 't' || next == '\\') {
        result += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
        ++i;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

struct Catalogue {
  std::shared_mutex mutex;
  std::vector<std::pair<std::string, MessageTable>> files;  // in the order they were added
};

Catalogue& TheCatalogue() {
  static Catalogue catalogue;
  return catalogue;
}

}  // namespace

MessageTable MessageTable::Parse(std::string_view text) {
  MessageTable table;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const std::size_t tab = line.find('\t');
    std::int32_t id = 0;
    if (!ParseIdentifier(line.substr(0, tab), &id)) continue;
    std::string message = tab == std::string_view::npos ? std::string() : Unescape(line.substr(tab + 1));
    table.texts_.emplace(id, std::move(message));
  }
  return table;
}

const std::string* MessageTable::Find(std::int32_t id) const {
  const auto found = texts_.find(id);
  return found == texts_.end() ? nullptr : &found->second;
}

std::string FillPlaceholders(std::string_view text, MessageArguments arguments) {
  std::string result;
  result.reserve(text.size() + 64);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const std::size_t number = static_cast<std::size_t>(text[i + 1] - '1');
      if (number < arguments.size()) result += arguments[number].Text();
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

void MsgHandlerInitFunction() { TheCatalogue(); }

Status AddResourceFile(const std::string& path_without_extension) {
  std::string contents;
  if (Status read = ReadWholeFile(path_without_extension + ".e2", &contents); !read.ok()) return read;
  MessageTable table = MessageTable::Parse(contents);

  Catalogue& catalogue = TheCatalogue();
  std::unique_lock<std::shared_mutex> hold(catalogue.mutex);
  for (auto& [path, existing] : catalogue.files) {
    if (path == path_without_extension) {
      existing = std::move(table);  // a file added again is read afresh
      return Status::Ok();
    }
  }
  catalogue.files.emplace_back(path_without_extension, std::move(table));
  return Status::Ok();
}

void FormatGenericMessage(std::int32_t id, MessageArguments arguments, char** text) {
  if (text == nullptr) return;
  std::string message;
  {
    Catalogue& catalogue = TheCatalogue();
    std::shared_lock<std::shared_mutex> hold(catalogue.mutex);
    const std::string* found = nullptr;
    for (const auto& file : catalogue.files) {
      if ((found = file.second.Find(id)) != nullptr) break;
    }
    if (found == nullptr) return;
    message = FillPlaceholders(*found, arguments);
  }
  char* copy = new char[message.size() + 1];
  std::memcpy(copy, message.c_str(), message.size() + 1);
  *text = copy;
}

void FormatGenericMessage(std::int32_t id, std::initializer_list<MessageArgument> arguments, char** text) {
  FormatGenericMessage(id, MessageArguments(arguments.begin(), arguments.size()), text);
}

void FreeGenericMessage(char* text) { delete[] text; }

void RemoveResourceFile(const std::string& path_without_extension) {
  Catalogue& catalogue = TheCatalogue();
  std::unique_lock<std::shared_mutex> hold(catalogue.mutex);
  std::erase_if(catalogue.files, [&](const auto& file) { return file.first == path_without_extension; });
}

void MsgHandlerDestroyFunction() {
  Catalogue& catalogue = TheCatalogue();
  std::unique_lock<std::shared_mutex> hold(catalogue.mutex);
  catalogue.files.clear();
}
