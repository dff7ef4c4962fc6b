#include "tools/host/metrics_exposition.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace sarvik_host {

namespace {

constexpr char kPrefix[] = "sarvik_";

bool IsAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLowerOrDigit(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (IsUpper(c)) c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// The lower-case words of `text`: runs of ASCII letters and digits, split where camelCase
// starts a new word ("KeepAliveHits" -> keep alive hits, "HTTPServer" -> http server).
std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!IsAsciiAlnum(c)) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
      continue;
    }
    if (!word.empty() && IsUpper(c)) {
      const char before = text[i - 1];
      const bool after_lower = IsLowerOrDigit(before);
      const bool acronym_ends = IsUpper(before) && i + 1 < text.size() && text[i + 1] >= 'a' && text[i + 1] <= 'z';
      if (after_lower || acronym_ends) {
        words.push_back(std::move(word));
        word.clear();
      }
    }
    word += IsUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

struct BaseUnit {
  const char* suffix;  // "" when the unit has no base unit we know
  double factor;
};

BaseUnit BaseUnitOf(std::string_view unit) {
  const std::string lower = Lowercase(unit);
  if (lower == "s" || lower == "sec" || lower == "secs" || lower == "second" || lower == "seconds") return {"seconds", 1};
  if (lower == "ms" || lower == "msec" || lower == "milliseconds") return {"seconds", 1e-3};
  if (lower == "us" || lower == "usec" || lower == "microseconds" || unit == "\xC2\xB5s") return {"seconds", 1e-6};
  if (lower == "ns" || lower == "nanoseconds") return {"seconds", 1e-9};
  if (lower == "b" || lower == "byte" || lower == "bytes") return {"bytes", 1};
  if (lower == "kb" || lower == "kib") return {"bytes", 1024.0};
  if (lower == "mb" || lower == "mib") return {"bytes", 1024.0 * 1024};
  if (lower == "gb" || lower == "gib") return {"bytes", 1024.0 * 1024 * 1024};
  if (lower == "%" || lower == "percent") return {"ratio", 0.01};
  return {"", 1};
}

// Words that only name a unit: the name carries the base unit as its suffix instead. A lone
// abbreviation is never kept, since a scraper's linter refuses abbreviated units.
const std::set<std::string>& UnitWords(std::string_view base) {
  static const std::set<std::string> kTime = {"second", "seconds", "millisecond", "milliseconds", "microsecond",
                                              "microseconds", "nanosecond", "nanoseconds", "secs"};
  static const std::set<std::string> kBytes = {"byte", "bytes", "kilobytes", "megabytes", "gigabytes"};
  static const std::set<std::string> kRatio = {"percent", "percentage", "pct"};
  static const std::set<std::string> kNone;
  if (base == "seconds") return kTime;
  if (base == "bytes") return kBytes;
  if (base == "ratio") return kRatio;
  return kNone;
}

bool IsAbbreviatedUnit(const std::string& word) {
  static const std::set<std::string> kAbbreviations = {"s", "ms", "us", "ns", "sec", "b", "kb", "mb",
                                                       "gb", "tb", "pb", "m", "h", "d"};
  return kAbbreviations.count(word) != 0;
}

// Metric types and words a scraper reads as a histogram's, summary's or counter's own samples.
bool IsTypeWord(const std::string& word) {
  return word == "gauge" || word == "counter" || word == "histogram" || word == "summary" || word == "untyped";
}
bool IsReservedEnding(const std::string& word) {
  return word == "total" || word == "count" || word == "sum" || word == "bucket" || word == "info" ||
         word == "created" || word == "gcount" || word == "gsum";
}

// `label` without a trailing "(UNIT)" naming `unit`.
std::string_view WithoutUnitNote(std::string_view label, std::string_view unit) {
  while (!label.empty() && (label.back() == ' ' || label.back() == '\t')) label.remove_suffix(1);
  if (unit.empty()) return label;
  const std::string note = "(" + std::string(unit) + ")";
  if (label.size() >= note.size() && label.substr(label.size() - note.size()) == note) {
    label.remove_suffix(note.size());
  }
  return label;
}

std::vector<std::string> NameWords(std::string_view text, std::string_view unit, bool is_rate, const char* base) {
  std::vector<std::string> words = Words(WithoutUnitNote(text, unit));
  if (is_rate) {
    // "... per Second", "... /s": the suffix says it once, at the end.
    const std::size_t n = words.size();
    if (n >= 2 && words[n - 2] == "per" && (words[n - 1] == "second" || words[n - 1] == "sec" || words[n - 1] == "s")) {
      words.resize(n - 2);
    } else if (n >= 1 && words[n - 1] == "s") {
      words.resize(n - 1);
    }
  }
  const std::set<std::string>& unit_words = UnitWords(base);
  std::vector<std::string> kept;
  for (std::string& word : words) {
    if (unit_words.count(word) != 0 || IsAbbreviatedUnit(word) || IsTypeWord(word)) continue;
    kept.push_back(std::move(word));
  }
  return kept;
}

std::string Join(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += '_';
    joined += word;
  }
  return joined;
}

// `text` as valid UTF-8: a byte that does not begin or continue a well-formed sequence becomes
// U+FFFD, so that a page in another encoding still gives a readable exposition.
std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned int low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool ok = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; ok && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      const unsigned int from = k == 1 ? low : 0x80, to = k == 1 ? high : 0xBF;
      ok = next >= from && next <= to;
    }
    if (ok) {
      valid.append(text.substr(i, length));
      i += length;
    } else {
      valid += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return valid;
}

std::string EscapeLabelValue(std::string_view value) {
  std::string escaped;
  for (const char c : ValidUtf8(value)) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '"') escaped += "\\\"";
    else if (c == '\n') escaped += "\\n";
    else escaped += c;
  }
  return escaped;
}

// HELP text: backslash and line feed escaped in both formats, the double quote in OpenMetrics.
std::string EscapeHelp(std::string_view text, ExpositionFormat format) {
  std::string escaped;
  for (const char c : ValidUtf8(text)) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '\n') escaped += "\\n";
    else if (c == '"' && format == ExpositionFormat::kOpenMetrics) escaped += "\\\"";
    else escaped += c;
  }
  return escaped;
}

std::string FormatValue(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  // Whole numbers as an operator reads them (1700000000, not 1.7e+09); the rest in the shortest
  // form that reads back as the same double.
  constexpr double kExactIntegers = 9007199254740992.0;  // 2^53
  if (value == std::trunc(value) && std::fabs(value) < kExactIntegers) {
    return std::to_string(static_cast<long long>(value));
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

using Labels = std::vector<std::pair<const char*, std::string>>;

// Writes families into one text, in either format.
class Writer {
 public:
  explicit Writer(ExpositionFormat format) : format_(format) {}

  // HELP, TYPE (and UNIT in OpenMetrics) of a family. A counter's family name is given with
  // "_total"; OpenMetrics names the family without it.
  void Family(const std::string& name, const char* type, std::string_view help) {
    std::string family = name;
    const bool counter = std::string_view(type) == "counter";
    if (counter && format_ == ExpositionFormat::kOpenMetrics) family = family.substr(0, family.size() - 6);
    text_ += "# HELP " + family + " " + EscapeHelp(help, format_) + "\n";
    text_ += "# TYPE " + family + " " + type + "\n";
    if (format_ == ExpositionFormat::kOpenMetrics) {
      for (const char* unit : {"seconds", "bytes", "ratio"}) {
        const std::string suffix = std::string("_") + unit;
        if (family.size() > suffix.size() && family.compare(family.size() - suffix.size(), suffix.size(), suffix) == 0) {
          text_ += "# UNIT " + family + " " + unit + "\n";
        }
      }
    }
  }

  void Sample(const std::string& name, const Labels& labels, double value) {
    text_ += name;
    if (!labels.empty()) {
      text_ += '{';
      for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) text_ += ',';
        text_ += labels[i].first;
        text_ += "=\"" + EscapeLabelValue(labels[i].second) + "\"";
      }
      text_ += '}';
    }
    text_ += ' ' + FormatValue(value) + '\n';
  }

  std::string Finish() {
    if (format_ == ExpositionFormat::kOpenMetrics) text_ += "# EOF\n";
    return std::move(text_);
  }

 private:
  const ExpositionFormat format_;
  std::string text_;
};

std::string ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

// One entry of a media range list: its type and its q (1 when not given).
std::pair<std::string, double> MediaRange(std::string_view entry) {
  std::string type;
  double q = 1;
  std::size_t at = 0;
  bool first = true;
  while (at <= entry.size()) {
    std::size_t end = entry.find(';', at);
    if (end == std::string_view::npos) end = entry.size();
    std::string part = Lowercase(entry.substr(at, end - at));
    const std::size_t left = part.find_first_not_of(" \t");
    const std::size_t right = part.find_last_not_of(" \t");
    part = left == std::string::npos ? "" : part.substr(left, right - left + 1);
    if (first) {
      type = part;
      first = false;
    } else if (part.rfind("q=", 0) == 0) {
      char* parsed_end = nullptr;
      const std::string number = part.substr(2);
      const double parsed = std::strtod(number.c_str(), &parsed_end);
      q = parsed_end != number.c_str() && parsed >= 0 && parsed <= 1 ? parsed : 0;
    }
    at = end + 1;
  }
  return {type, q};
}

}  // namespace

double BaseUnitFactor(std::string_view unit) { return BaseUnitOf(unit).factor; }

std::string CounterFamilyName(std::string_view label, std::string_view counter, std::string_view unit, bool is_rate) {
  const BaseUnit base = BaseUnitOf(unit);
  // A label that says "per Second" names a per-second family even before the first rate is read,
  // so that the family keeps one name for the whole session.
  const std::vector<std::string> label_words = Words(label);
  const std::size_t n = label_words.size();
  if (n >= 2 && label_words[n - 2] == "per" && label_words[n - 1] == "second") is_rate = true;
  std::vector<std::string> words = NameWords(label, unit, is_rate, base.suffix);
  if (words.empty()) words = NameWords(counter, unit, is_rate, base.suffix);
  const bool suffixed = base.suffix[0] != '\0' || is_rate;
  if (!suffixed) {
    while (!words.empty() && IsReservedEnding(words.back())) words.pop_back();
  }
  if (words.empty()) words.push_back("value");
  std::string name = kPrefix + Join(words);
  if (base.suffix[0] != '\0') name += std::string("_") + base.suffix;
  if (is_rate) name += "_per_second";
  return name;
}

ExpositionFormat FormatForAccept(std::string_view accept) {
  double openmetrics = 0;
  double other = 0;
  std::size_t at = 0;
  while (at <= accept.size()) {
    std::size_t end = accept.find(',', at);
    if (end == std::string_view::npos) end = accept.size();
    const auto [type, q] = MediaRange(accept.substr(at, end - at));
    if (type == "application/openmetrics-text") openmetrics = std::max(openmetrics, q);
    else if (!type.empty()) other = std::max(other, q);
    at = end + 1;
  }
  return openmetrics > 0 && openmetrics >= other ? ExpositionFormat::kOpenMetrics : ExpositionFormat::kPrometheusText;
}

const char* ContentTypeOf(ExpositionFormat format) {
  return format == ExpositionFormat::kOpenMetrics ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
                                                  : "text/plain; version=0.0.4; charset=utf-8";
}

ProcessFacts ReadProcessFacts() {
  ProcessFacts facts;
  const long ticks = sysconf(_SC_CLK_TCK);
  const long page = sysconf(_SC_PAGESIZE);

  // /proc/self/stat: the fields after the command's closing parenthesis, from the state (3rd).
  const std::string stat = ReadFile("/proc/self/stat");
  const std::size_t close = stat.rfind(')');
  if (close != std::string::npos && ticks > 0) {
    std::istringstream fields(stat.substr(close + 1));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    if (values.size() > 21) {
      const double utime = std::strtod(values[11].c_str(), nullptr);
      const double stime = std::strtod(values[12].c_str(), nullptr);
      facts.cpu_seconds = (utime + stime) / static_cast<double>(ticks);
      facts.virtual_memory_bytes = std::strtod(values[20].c_str(), nullptr);
      if (page > 0) facts.resident_memory_bytes = std::strtod(values[21].c_str(), nullptr) * static_cast<double>(page);
      const std::string boot = ReadFile("/proc/stat");
      const std::size_t btime = boot.find("\nbtime ");
      if (btime != std::string::npos) {
        const double boot_seconds = std::strtod(boot.c_str() + btime + 7, nullptr);
        facts.start_time_seconds = boot_seconds + std::strtod(values[19].c_str(), nullptr) / static_cast<double>(ticks);
      }
    }
  }

  if (DIR* directory = opendir("/proc/self/fd")) {
    double open = 0;
    while (const dirent* entry = readdir(directory)) {
      if (entry->d_name[0] != '.') ++open;
    }
    closedir(directory);
    facts.open_fds = open > 0 ? open - 1 : 0;  // not the one that listed them
  }
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    facts.max_fds = static_cast<double>(limit.rlim_cur);
  }
  return facts;
}

std::string RenderExposition(const MetricsSnapshot& snapshot, std::int64_t now_us, const ProcessFacts& process,
                             ExpositionFormat format) {
  Writer out(format);
  const auto& sources = snapshot.sources;
  auto valid_source = [&](std::size_t index) { return index < sources.size(); };

  out.Family("sarvik_source_up", "gauge", "1 when the source's last round gave readings, 0 when it failed.");
  for (const MetricsSourceState& source : sources) {
    out.Sample("sarvik_source_up", {{"target", source.target}}, source.up ? 1 : 0);
  }

  out.Family("sarvik_snapshot_age_seconds", "gauge",
             "Seconds since the time stamp of the latest statistics snapshot read from the source.");
  for (const MetricsSourceState& source : sources) {
    if (!source.snapshot_time_us) continue;
    out.Sample("sarvik_snapshot_age_seconds", {{"target", source.target}},
               static_cast<double>(now_us - *source.snapshot_time_us) / 1e6);
  }

  out.Family("sarvik_readings_total", "counter", "New readings since the monitoring session started.");
  out.Sample("sarvik_readings_total", {}, static_cast<double>(snapshot.readings_total));

  out.Family("sarvik_last_result_code", "gauge", "The plug-in's result code of the last round (0: success).");
  for (const MetricsCounterState& counter : snapshot.counters) {
    if (!valid_source(counter.source)) continue;
    out.Sample("sarvik_last_result_code", {{"target", sources[counter.source].target}, {"counter", counter.counter}},
               counter.last_result_code);
  }

  // One family per counter text, in the order the counters first appear.
  std::set<std::string> taken = {"sarvik_source_up", "sarvik_snapshot_age_seconds", "sarvik_readings",
                                 "sarvik_readings_total", "sarvik_last_result_code"};
  std::vector<std::string> order;
  std::map<std::string, std::vector<const MetricsCounterState*>> members;
  for (const MetricsCounterState& counter : snapshot.counters) {
    auto& list = members[counter.counter];
    if (list.empty()) order.push_back(counter.counter);
    list.push_back(&counter);
  }
  for (const std::string& text : order) {
    const MetricsCounterState& first = *members[text].front();
    const std::string base = CounterFamilyName(first.label, first.counter, first.unit, first.is_rate);
    std::string name = base;
    for (int n = 2; taken.count(name) != 0; ++n) name = base + "_" + std::to_string(n);
    taken.insert(name);

    std::string help = (first.label.empty() ? first.counter : first.label) + " (counter \"" + first.counter + "\")";
    const BaseUnit unit = BaseUnitOf(first.unit);
    if (unit.suffix[0] != '\0' && unit.factor != 1) help += ", converted from " + first.unit + " to " + unit.suffix;
    help += ".";
    out.Family(name, "gauge", help);
    for (const MetricsCounterState* counter : members[text]) {
      if (!counter->has_value || !valid_source(counter->source)) continue;
      const MetricsSourceState& source = sources[counter->source];
      out.Sample(name,
                 {{"target", source.target}, {"host", source.host}, {"counter", counter->counter},
                  {"label", counter->label}},
                 counter->value * BaseUnitOf(counter->unit).factor);
    }
  }

  auto fact = [&](const char* name, const char* type, const char* help, const std::optional<double>& value) {
    if (!value) return;
    out.Family(name, type, help);
    out.Sample(name, {}, *value);
  };
  fact("process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.", process.cpu_seconds);
  fact("process_resident_memory_bytes", "gauge", "Resident memory size in bytes.", process.resident_memory_bytes);
  fact("process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.", process.virtual_memory_bytes);
  fact("process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
       process.start_time_seconds);
  fact("process_open_fds", "gauge", "Number of open file descriptors.", process.open_fds);
  fact("process_max_fds", "gauge", "Maximum number of open file descriptors.", process.max_fds);
  return out.Finish();
}

}  // namespace sarvik_host
