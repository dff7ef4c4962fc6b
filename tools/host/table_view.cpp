#include "tools/host/table_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace sarvik_host {

namespace {

const char* const kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584", "\u2585", "\u2586", "\u2587", "\u2588"};

// `text` cut to `width` columns.
std::string Cut(const std::string& text, std::size_t width) {
  std::string out;
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (columns == width) break;
      ++columns;
    }
    out += text[i];
  }
  return out;
}

std::string PadRight(const std::string& text, std::size_t width) {
  std::string out = Cut(text, width);
  const std::size_t shown = DisplayWidth(out);
  if (shown < width) out.append(width - shown, ' ');
  return out;
}

std::string PadLeft(const std::string& text, std::size_t width) {
  const std::string cut = Cut(text, width);
  const std::size_t shown = DisplayWidth(cut);
  return std::string(width > shown ? width - shown : 0, ' ') + cut;
}

std::string Clock(double seconds) {
  const long whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string StatusText(ReadingStatus status, int result) {
  switch (status) {
    case ReadingStatus::kNew: return "ok";
    case ReadingStatus::kUnchanged: return "same";
    case ReadingStatus::kWaiting: return "waiting";
    case ReadingStatus::kFirst: return "first";
    case ReadingStatus::kReset: return "reset";
    case ReadingStatus::kStale: return "stale";
    case ReadingStatus::kRetrying: return "retrying";
    case ReadingStatus::kError:
    default: return "error " + std::to_string(result);
  }
}

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
  std::size_t columns = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
  }
  return columns;
}

std::string Sparkline(std::span<const double> values) {
  double low = 0;
  double high = 0;
  bool any = false;
  for (const double value : values) {
    if (!std::isfinite(value)) continue;
    low = any ? std::min(low, value) : value;
    high = any ? std::max(high, value) : value;
    any = true;
  }
  std::string line;
  for (const double value : values) {
    if (!std::isfinite(value)) {
      line += ' ';
      continue;
    }
    std::size_t level = 0;
    if (high > low) {
      level = static_cast<std::size_t>(std::lround((value - low) / (high - low) * 7.0));
      level = std::min<std::size_t>(level, 7);
    }
    line += kBlocks[level];
  }
  return line;
}

TableView::TableView(const std::vector<std::string>& targets, const std::vector<CounterInfo>& counters)
    : targets_(targets), counters_(counters), series_(targets.size() * counters.size()) {}

void TableView::Add(std::size_t series, const ReadingRow& row) {
  if (series >= series_.size()) return;
  Series& entry = series_[series];
  entry.status = row.status;
  entry.result = row.result;
  // A failing source shows its state, not its last value as if it were current.
  entry.shows_number = ShowsNumber(row);
  if (entry.shows_number) entry.reading = row.reading;
  if (row.status == ReadingStatus::kNew && entry.shows_number) {
    entry.recent.push_back(ReadingNumber(row.reading));
    if (entry.recent.size() > kSparkLength) entry.recent.pop_front();
  }
}

void TableView::AddMessage(std::int64_t time_us, const std::string& text) {
  const std::time_t seconds = static_cast<std::time_t>(time_us / 1000000);
  std::tm parts{};
  localtime_r(&seconds, &parts);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", parts.tm_hour, parts.tm_min, parts.tm_sec);
  std::string line = stamp;
  for (const char c : text) line += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  messages_.push_back(line);
  if (messages_.size() > kMessagesShown) messages_.pop_front();
}

std::string TableView::Render(const SessionStatus& status, std::size_t width, std::size_t height) const {
  if (width < 40) width = 40;
  std::vector<std::string> lines;
  lines.push_back("sarvik-host  " + status.targets + "  elapsed " + Clock(status.elapsed_seconds) + "  readings " +
                  std::to_string(status.readings) + "  errors " + std::to_string(status.errors) + "  every " +
                  DisplayNumber(status.interval_seconds) + " s" + (status.ended ? "  (ended)" : "  (Ctrl-C ends)"));

  // Label, value, unit, trend and status; the label takes what the others leave.
  const std::size_t value_width = 14;
  const std::size_t unit_width = 6;
  const std::size_t status_width = 9;
  const std::size_t fixed = value_width + unit_width + kSparkLength + status_width + 8;
  const std::size_t label_width = std::clamp<std::size_t>(width > fixed ? width - fixed : 12, 12, 48);
  const std::string header = "  " + PadRight("Counter", label_width) + " " + PadLeft("Value", value_width) + " " +
                             PadRight("Unit", unit_width) + " " + PadRight("Trend", kSparkLength) + " Status";
  lines.push_back(header);

  const std::size_t per_target = counters_.size();
  for (std::size_t t = 0; t < targets_.size(); ++t) {
    if (targets_.size() > 1) lines.push_back("\u2500\u2500 " + targets_[t]);
    for (std::size_t c = 0; c < per_target; ++c) {
      const Series& entry = series_[t * per_target + c];
      const CounterInfo& counter = counters_[c];
      std::string value = "-";
      std::string unit = counter.unit;
      if (entry.shows_number) {
        value = ReadableNumber(ReadingNumber(entry.reading), ReadingUnit(counter.unit, IsRate(entry.reading)));
        unit.clear();
      }
      const std::vector<double> recent(entry.recent.begin(), entry.recent.end());
      const std::string label = counter.label.empty() ? counter.counter : counter.label;
      lines.push_back("  " + PadRight(label, label_width) + " " + PadLeft(value, value_width) + " " +
                      PadRight(unit, unit_width) + " " + PadRight(Sparkline(recent), kSparkLength) + " " +
                      StatusText(entry.status, entry.result));
    }
  }
  if (!messages_.empty()) {
    lines.push_back("Messages:");
    for (const std::string& message : messages_) lines.push_back("  " + message);
  }

  if (height > 0 && lines.size() > height) {
    const std::size_t hidden = lines.size() - (height - 1);
    lines.resize(height - 1);
    lines.push_back("... " + std::to_string(hidden) + " more lines (a larger terminal, or --format csv, shows all)");
  }
  std::string frame;
  for (const std::string& line : lines) frame += Cut(line, width) + "\n";
  return frame;
}

}  // namespace sarvik_host
