#include "platform/catalogue.h"

#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

MessageArgument::MessageArgument(std::int32_t number, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  // Widened so that the most negative number has a magnitude.
  std::int64_t magnitude = number;
  const bool negative = magnitude < 0;
  if (negative) magnitude = -magnitude;
  do {
    const int digit = static_cast<int>(magnitude % radix);
    text_.insert(text_.begin(), static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10));
    magnitude /= radix;
  } while (magnitude != 0);
  if (negative) text_.insert(text_.begin(), '-');
}

namespace {

// An identifier is the whole field: an optional '-' and digits, within the 32-bit range.
bool ParseIdentifier(std::string_view text, std::int32_t* id) {
  if (text.empty() || text.front() == '+') return false;
  const LeadingDecimal number = ReadLeadingDecimal(text);
  if (number.length == 0 || number.length != text.size() || number.clamped) return false;
  *id = number.value;
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

// The files added to the process-wide catalogue. Any thread may call any operation; formatting
// threads read side by side, while adding and removing files waits for them.
class Catalogue {
 public:
  // Adds the messages of the file at `path`; a file added again is read afresh.
  void Add(const std::string& path, MessageTable table) EXCLUDES(mutex_) {
    WriterLock hold(mutex_);
    for (auto& [added_path, existing] : files_) {
      if (added_path == path) {
        existing = std::move(table);
        return;
      }
    }
    files_.emplace_back(path, std::move(table));
  }

  // Sets `*message` to message `id` filled with `arguments`, from the first file that holds it.
  // Returns false, leaving `*message` alone, when no file does.
  bool Format(std::int32_t id, MessageArguments arguments, std::string* message) const EXCLUDES(mutex_) {
    ReaderLock hold(mutex_);
    const std::string* found = Find(id);
    if (found == nullptr) return false;
    *message = FillPlaceholders(*found, arguments);
    return true;
  }

  void Remove(const std::string& path) EXCLUDES(mutex_) {
    WriterLock hold(mutex_);
    std::erase_if(files_, [&](const auto& file) { return file.first == path; });
  }

  void Clear() EXCLUDES(mutex_) {
    WriterLock hold(mutex_);
    files_.clear();
  }

 private:
  // The text of message `id` in the first file that holds it, or null.
  const std::string* Find(std::int32_t id) const REQUIRES_SHARED(mutex_) {
    for (const auto& file : files_) {
      if (const std::string* found = file.second.Find(id)) return found;
    }
    return nullptr;
  }

  mutable SharedMutex mutex_;
  std::vector<std::pair<std::string, MessageTable>> files_ GUARDED_BY(mutex_);  // in the order added
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
  std::array<std::string_view, 9> texts;  // only %1 .. %9 can name an argument
  const std::size_t count = std::min(arguments.size(), texts.size());
  for (std::size_t i = 0; i < count; ++i) texts[i] = arguments[i].Text();
  return FillPlaceholders(text, std::span<const std::string_view>(texts.data(), count));
}

void MsgHandlerInitFunction() { TheCatalogue(); }

Status AddResourceFile(const std::string& path_without_extension) {
  std::string contents;
  if (Status read = ReadWholeFile(path_without_extension + ".e2", &contents); !read.ok()) return read;
  TheCatalogue().Add(path_without_extension, MessageTable::Parse(contents));
  return Status::Ok();
}

void FormatGenericMessage(std::int32_t id, MessageArguments arguments, char** text) {
  if (text == nullptr) return;
  std::string message;
  if (!TheCatalogue().Format(id, arguments, &message)) return;
  char* copy = new char[message.size() + 1];
  std::memcpy(copy, message.c_str(), message.size() + 1);
  *text = copy;
}

void FormatGenericMessage(std::int32_t id, std::initializer_list<MessageArgument> arguments, char** text) {
  FormatGenericMessage(id, MessageArguments(arguments.begin(), arguments.size()), text);
}

void FreeGenericMessage(char* text) { delete[] text; }

void RemoveResourceFile(const std::string& path_without_extension) { TheCatalogue().Remove(path_without_extension); }

void MsgHandlerDestroyFunction() { TheCatalogue().Clear(); }
