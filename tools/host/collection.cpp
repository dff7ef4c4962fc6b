#include "tools/host/collection.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>

namespace sarvik_host {

namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' || c == ':' || c == '.';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    *out += static_cast<char>(code);
  } else if (code < 0x800) {
    *out += static_cast<char>(0xC0 | (code >> 6));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out += static_cast<char>(0xE0 | (code >> 12));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (code >> 18));
    *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Reads a character reference body ("#65", "#x41"); false when it is not one.
bool ReadCharacterReference(std::string_view body, std::uint32_t* code) {
  if (body.size() < 2 || body[0] != '#') return false;
  const bool hex = body[1] == 'x' || body[1] == 'X';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t value = 0;
  for (const char c : digits) {
    int digit = 0;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *code = value;
  return true;
}

// The attributes of one start tag, from just after its name to its '>'.
std::vector<std::pair<std::string, std::string>> ReadAttributes(std::string_view tag) {
  std::vector<std::pair<std::string, std::string>> attributes;
  std::size_t at = 0;
  while (at < tag.size()) {
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    const std::size_t name_start = at;
    while (at < tag.size() && IsNameChar(tag[at])) ++at;
    if (at == name_start) break;
    const std::string_view name = tag.substr(name_start, at - name_start);
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    if (at >= tag.size() || tag[at] != '=') break;
    ++at;
    while (at < tag.size() && IsSpace(tag[at])) ++at;
    if (at >= tag.size() || (tag[at] != '"' && tag[at] != '\'')) break;
    const char quote = tag[at++];
    const std::size_t end = tag.find(quote, at);
    if (end == std::string_view::npos) break;
    attributes.emplace_back(std::string(name), XmlUnescape(tag.substr(at, end - at)));
    at = end + 1;
  }
  return attributes;
}

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// Sets the value of property `name` in `*document`; true when the document had a place for it.
bool SetProperty(std::string* document, std::string_view name, const std::string& value) {
  const std::string escaped = XmlEscape(value);
  const std::string open_tag = "<prop name=\"" + std::string(name) + "\">";
  const std::size_t prop = document->find(open_tag);
  if (prop != std::string::npos) {
    const std::size_t prop_end = document->find("</prop>", prop);
    const std::size_t value_start = document->find("<value>", prop);
    const std::size_t value_end = document->find("</value>", prop);
    if (prop_end != std::string::npos && value_start != std::string::npos && value_end != std::string::npos &&
        value_start < value_end && value_end < prop_end) {
      const std::size_t text_start = value_start + 7;
      document->replace(text_start, value_end - text_start, escaped);
      return true;
    }
    if (prop_end != std::string::npos) {
      document->replace(prop, prop_end + 7 - prop, open_tag + "<value>" + escaped + "</value></prop>");
      return true;
    }
  }
  const std::string property = open_tag + "<value>" + escaped + "</value></prop>";
  const std::size_t data = document->find("<monitorData>");
  if (data != std::string::npos) {
    document->insert(data + 13, property);
    return true;
  }
  const std::size_t root_end = document->rfind("</PerformanceMonitor>");
  if (root_end != std::string::npos) {
    document->insert(root_end, "<monitorData>\n" + property + "</monitorData>\n");
    return true;
  }
  return false;
}

}  // namespace

std::string XmlUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] != '&') {
      out += text[at++];
      continue;
    }
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 12) {
      out += text[at++];
      continue;
    }
    const std::string_view body = text.substr(at + 1, semicolon - at - 1);
    std::uint32_t code = 0;
    if (body == "amp") out += '&';
    else if (body == "lt") out += '<';
    else if (body == "gt") out += '>';
    else if (body == "quot") out += '"';
    else if (body == "apos") out += '\'';
    else if (ReadCharacterReference(body, &code)) AppendUtf8(code, &out);
    else {
      out += text[at++];
      continue;
    }
    at = semicolon + 1;
  }
  return out;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c; break;
    }
  }
  return out;
}

std::vector<CounterInfo> ReadCollectionCounters(std::string_view document) {
  std::vector<CounterInfo> counters;
  std::size_t at = 0;
  while ((at = document.find("<counter", at)) != std::string_view::npos) {
    const std::size_t name_end = at + 8;
    if (name_end >= document.size() || !IsSpace(document[name_end])) {
      at = name_end;
      continue;
    }
    const std::size_t close = document.find('>', name_end);
    if (close == std::string_view::npos) break;
    std::string_view tag = document.substr(name_end, close - name_end);
    if (!tag.empty() && tag.back() == '/') tag.remove_suffix(1);
    CounterInfo counter;
    bool has_id = false;
    for (auto& [name, value] : ReadAttributes(tag)) {
      if (name == "id") {
        counter.counter = std::move(value);
        has_id = true;
      } else if (name == "name") {
        counter.label = std::move(value);
      } else if (name == "desc") {
        counter.description = std::move(value);
      }
    }
    if (has_id && !counter.counter.empty()) {
      counter.unit = UnitOf(counter.label, counter.description);
      counters.push_back(std::move(counter));
    }
    at = close + 1;
  }
  return counters;
}

const CounterInfo* FindCounter(const std::vector<CounterInfo>& counters, std::string_view text) {
  for (const CounterInfo& counter : counters) {
    if (counter.counter == text) return &counter;
  }
  return nullptr;
}

namespace {

// `text` in lower case without spaces and punctuation; bytes of other scripts stay.
std::string Compact(std::string_view text) {
  std::string compact;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || std::isalnum(byte) != 0) compact += static_cast<char>(byte < 0x80 ? std::tolower(byte) : byte);
  }
  return compact;
}

// The fewest single-character edits that turn `wanted` into a part of `text` (into the whole of
// `text` when `whole`).
std::size_t EditDistance(std::string_view wanted, std::string_view text, bool whole) {
  std::vector<std::size_t> previous(text.size() + 1), current(text.size() + 1);
  for (std::size_t j = 0; j <= text.size(); ++j) previous[j] = whole ? j : 0;
  for (std::size_t i = 1; i <= wanted.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= text.size(); ++j) {
      const std::size_t replace = previous[j - 1] + (wanted[i - 1] == text[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace});
    }
    std::swap(previous, current);
  }
  return whole ? previous.back() : *std::min_element(previous.begin(), previous.end());
}

std::string Quoted(const CounterInfo& counter) {
  std::string text = "'" + counter.counter + "'";
  if (!counter.label.empty() && counter.label != counter.counter) text += " (" + counter.label + ")";
  return text;
}

}  // namespace

CounterMatch MatchCounter(const std::vector<CounterInfo>& counters, std::string_view name) {
  CounterMatch match;
  const std::string lower = Lowercase(name);
  const std::string compact = Compact(name);
  using Rule = std::function<bool(const CounterInfo&)>;
  const Rule rules[] = {
      [&](const CounterInfo& c) { return c.counter == name; },
      [&](const CounterInfo& c) { return c.label == name; },
      [&](const CounterInfo& c) { return Lowercase(c.counter) == lower || Lowercase(c.label) == lower; },
      [&](const CounterInfo& c) {
        return !compact.empty() && (Compact(c.counter) == compact || Compact(c.label) == compact);
      },
      [&](const CounterInfo& c) {
        if (Lowercase(c.counter).find(lower) != std::string::npos ||
            Lowercase(c.label).find(lower) != std::string::npos) {
          return true;
        }
        return !compact.empty() && (Compact(c.counter).find(compact) != std::string::npos ||
                                    Compact(c.label).find(compact) != std::string::npos);
      },
  };
  if (name.empty()) return match;
  for (const Rule& fits : rules) {
    std::vector<const CounterInfo*> fitting;
    for (const CounterInfo& counter : counters) {
      if (fits(counter)) fitting.push_back(&counter);
    }
    if (fitting.size() == 1) {
      match.counter = fitting.front();
      return match;
    }
    if (fitting.size() > 1) {
      match.candidates = std::move(fitting);
      match.ambiguous = true;
      return match;
    }
  }

  // A miss: the counters whose text or label comes nearest, as a whole or in part.
  const std::size_t allowed = std::max<std::size_t>(1, compact.size() / 3);
  std::vector<std::pair<std::size_t, const CounterInfo*>> near;
  for (const CounterInfo& counter : counters) {
    std::size_t best = std::string::npos;
    for (const std::string* text : {&counter.counter, &counter.label}) {
      if (text->empty()) continue;
      best = std::min({best, EditDistance(lower, Lowercase(*text), true),
                       EditDistance(compact, Compact(*text), false)});
    }
    if (best <= allowed) near.emplace_back(best, &counter);
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& left, const auto& right) { return left.first < right.first; });
  // Only the nearest: a second guess further off is noise.
  for (std::size_t i = 0; i < near.size() && i < 3 && near[i].first == near.front().first; ++i) {
    match.candidates.push_back(near[i].second);
  }
  return match;
}

std::string DescribeCounterMiss(std::string_view name, const CounterMatch& match) {
  std::string list;
  for (const CounterInfo* candidate : match.candidates) list += (list.empty() ? "" : ", ") + Quoted(*candidate);
  if (match.ambiguous) {
    return "counter '" + std::string(name) + "' is ambiguous: it fits " + list +
           "; give more of the counter text or its label";
  }
  std::string text = "unknown counter '" + std::string(name) + "': the configuration has no such counter";
  if (!list.empty()) text += "; did you mean " + list + "?";
  return text + " ('sarvik-host collection HOST' lists them; the README says how to add one)";
}

std::optional<std::string> ReadServerProperty(std::string_view document, std::string_view name) {
  const std::string open_tag = "<prop name=\"" + std::string(name) + "\">";
  const std::size_t prop = document.find(open_tag);
  if (prop == std::string_view::npos) return std::nullopt;
  const std::size_t prop_end = document.find("</prop>", prop);
  const std::size_t value_start = document.find("<value>", prop);
  const std::size_t value_end = document.find("</value>", prop);
  if (prop_end == std::string_view::npos || value_start == std::string_view::npos ||
      value_end == std::string_view::npos || value_start > value_end || value_end > prop_end) {
    return std::nullopt;
  }
  return XmlUnescape(document.substr(value_start + 7, value_end - value_start - 7));
}

namespace {

// The number of characters of UTF-8 `text` (continuation bytes do not count).
std::size_t Characters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

// `text` cut to `width` characters, its last one "…" when cut; padded with spaces to `width`
// when `pad`.
std::string FitColumn(std::string_view text, std::size_t width, bool pad) {
  std::string fitted;
  if (Characters(text) <= width) {
    fitted = std::string(text);
  } else if (width > 0) {
    std::size_t kept = 0;
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t next = at + 1;
      while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
      if (kept + 1 >= width) break;
      fitted.append(text.substr(at, next - at));
      ++kept;
      at = next;
    }
    fitted += "\xE2\x80\xA6";
  }
  if (pad) fitted.append(width - std::min(width, Characters(fitted)), ' ');
  return fitted;
}

// A description on one line: white space runs become one space.
std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    if (IsSpace(c)) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

std::string RenderCounterTable(std::string_view document, std::size_t width) {
  constexpr std::size_t kMaxTextColumn = 40;
  constexpr std::size_t kMinDescription = 12;
  constexpr std::size_t kWantedDescription = 24;
  constexpr std::size_t kMinTextColumn = 14;
  constexpr std::size_t kGap = 2;
  const std::vector<CounterInfo> counters = ReadCollectionCounters(document);
  std::size_t label_width = Characters("Label");
  std::size_t counter_width = Characters("Counter");
  std::size_t unit_width = Characters("Unit");
  for (const CounterInfo& counter : counters) {
    label_width = std::max(label_width, Characters(counter.label));
    counter_width = std::max(counter_width, Characters(counter.counter));
    unit_width = std::max(unit_width, Characters(counter.unit));
  }
  label_width = std::min(label_width, kMaxTextColumn);
  counter_width = std::min(counter_width, kMaxTextColumn);
  // On a narrow terminal the label and counter columns give way, so that a description of
  // kWantedDescription characters fits, as long as neither gets narrower than kMinTextColumn.
  const std::size_t fixed = unit_width + 3 * kGap;
  const std::size_t texts = label_width + counter_width;
  if (width > fixed && texts + kWantedDescription > width - fixed) {
    const std::size_t room = width - fixed > kWantedDescription ? width - fixed - kWantedDescription : 0;
    const std::size_t shrunk_label = std::max(kMinTextColumn, room * label_width / texts);
    counter_width = std::min(counter_width, std::max(kMinTextColumn, room > shrunk_label ? room - shrunk_label : 0));
    label_width = std::min(label_width, shrunk_label);
  }
  const std::size_t used = label_width + counter_width + unit_width + 3 * kGap;
  const std::size_t description_width = width > used ? width - used : 0;
  const bool with_description = description_width >= kMinDescription;

  const std::string gap(kGap, ' ');
  std::string table;
  const auto add_row = [&](std::string_view label, std::string_view text, std::string_view unit,
                           std::string_view description) {
    std::string line = FitColumn(label, label_width, true) + gap + FitColumn(text, counter_width, true) + gap +
                       FitColumn(unit, unit_width, with_description);
    if (with_description) line += gap + FitColumn(description, description_width, false);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    table += line + "\n";
  };
  add_row("Label", "Counter", "Unit", "Description");
  for (const CounterInfo& counter : counters) {
    add_row(counter.label, counter.counter, counter.unit, OneLine(counter.description));
  }
  table += std::to_string(counters.size()) + (counters.size() == 1 ? " counter" : " counters");
  const std::optional<std::string> port = ReadServerProperty(document, "port");
  const std::optional<std::string> url = ReadServerProperty(document, "URL");
  if (port || url) {
    table += "; server defaults:";
    if (port) table += " port " + *port;
    if (port && url) table += ",";
    if (url) table += " URL " + *url;
  }
  return table + "\n";
}

std::string UnitOf(std::string_view label, std::string_view description) {
  // A short unit in parentheses that ends the label: "(ms)", "(s)", "(KB)", "(%)".
  std::string_view trimmed = label;
  while (!trimmed.empty() && IsSpace(trimmed.back())) trimmed.remove_suffix(1);
  if (!trimmed.empty() && trimmed.back() == ')') {
    const std::size_t open = trimmed.rfind('(');
    if (open != std::string_view::npos) {
      const std::string_view inside = trimmed.substr(open + 1, trimmed.size() - open - 2);
      bool unit_like = !inside.empty() && inside.size() <= 5;
      for (const char c : inside) {
        if (IsSpace(c) || std::isdigit(static_cast<unsigned char>(c)) != 0 || c == ',') unit_like = false;
      }
      if (unit_like) return std::string(inside);
    }
  }
  const std::string text = Lowercase(description);
  if (text.find("in milliseconds") != std::string::npos) return "ms";
  if (text.find("in microseconds") != std::string::npos) return "us";
  if (text.find("in seconds") != std::string::npos) return "s";
  if (text.find("percent") != std::string::npos) return "%";
  if (text.find("bytes") != std::string::npos) return "B";
  return "";
}

std::string ReadingUnit(std::string_view unit, bool rate) {
  if (!rate) return std::string(unit);
  return std::string(unit) + "/s";
}

std::string WithServerProperties(std::string_view document, const std::optional<int>& port,
                                 const std::optional<std::string>& url) {
  std::string changed(document);
  if (changed.find("<PerformanceMonitor") == std::string::npos) {
    changed = "<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n<monitorData>\n</monitorData>\n</PerformanceMonitor>\n";
  }
  if (port) SetProperty(&changed, "port", std::to_string(*port));
  if (url) SetProperty(&changed, "URL", *url);
  return changed;
}

}  // namespace sarvik_host
