#include "tools/host/table_view.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace sarvik_host {

namespace {

const char* const kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584", "\u2585", "\u2586", "\u2587", "\u2588"};

// A cell's value or word ("14.3 kB/s", "retrying"); a row's range ("0–14.3kB"), wider when there
// is room ("71.4ms–97.6ms").
constexpr std::size_t kValueWidth = 9;
constexpr std::size_t kRangeWidth = 12;
constexpr std::size_t kRangeWanted = 15;
// The label's column: never narrower than this, and no wider than needed up to the other.
constexpr std::size_t kLabelMinimum = 18;
constexpr std::size_t kLabelWanted = 34;
constexpr std::size_t kSparkMinimum = 3;
// The lines around the rows: the session's figures, the column heads, the status line, the keys.
constexpr std::size_t kFrameLines = 4;

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
  std::string out = Ellipsised(text, width);
  const std::size_t shown = DisplayWidth(out);
  if (shown < width) out.append(width - shown, ' ');
  return out;
}

std::string PadLeft(const std::string& text, std::size_t width) {
  const std::string cut = Ellipsised(text, width);
  const std::size_t shown = DisplayWidth(cut);
  return std::string(width > shown ? width - shown : 0, ' ') + cut;
}

std::string Clock(double seconds) {
  const long whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string Lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// `parts` joined by two spaces, the parts of least `priority` (higher numbers) left out until
// the line fits `width`; a part is shown whole or not at all.
std::string FitParts(const std::vector<std::pair<std::string, int>>& parts, std::size_t width) {
  std::vector<bool> shown(parts.size(), true);
  while (true) {
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (!shown[i] || parts[i].first.empty()) continue;
      if (!line.empty()) line += "  ";
      line += parts[i].first;
    }
    if (DisplayWidth(line) <= width) return line;
    std::size_t drop = parts.size();
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (shown[i] && (drop == parts.size() || parts[i].second >= parts[drop].second)) drop = i;
    }
    if (drop == parts.size()) return Ellipsised(line, width);
    shown[drop] = false;
  }
}

// The labels of `counters` within `width` columns, each ellipsised at its end; labels that would
// then read the same ("Default Bucket Av…" three times) give up the words they share at their
// start instead ("…Latency (s)", "…Function Time (s)").
std::vector<std::string> ShownLabels(const std::vector<CounterInfo>& counters, std::size_t width) {
  std::vector<std::string> full;
  std::vector<std::string> shown;
  for (const CounterInfo& counter : counters) {
    full.push_back(counter.label.empty() ? counter.counter : counter.label);
    shown.push_back(Ellipsised(full.back(), width));
  }
  std::vector<std::string> result = shown;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    std::vector<std::size_t> same;
    for (std::size_t j = 0; j < shown.size(); ++j) {
      if (shown[j] == shown[i]) same.push_back(j);
    }
    if (same.size() < 2) continue;
    // The words every label of the group starts with.
    std::size_t common = full[same[0]].size();
    for (const std::size_t j : same) {
      std::size_t k = 0;
      while (k < common && k < full[j].size() && full[j][k] == full[same[0]][k]) ++k;
      common = k;
    }
    const std::size_t word_end = full[same[0]].rfind(' ', common);
    if (word_end == std::string::npos || word_end == 0) continue;
    for (const std::size_t j : same) {
      const std::string tail = full[j].substr(word_end + 1);
      const std::size_t tail_width = DisplayWidth(tail);
      // As much of the start as the room leaves: "Default…Latency (s)".
      const std::size_t head = width > tail_width + 1 + 3 ? width - tail_width - 1 : 0;
      result[j] = head > 0 ? Cut(full[j], head) + "\u2026" + tail : Ellipsised("\u2026" + tail, width);
    }
  }
  return result;
}

}  // namespace

std::size_t DisplayWidth(const std::string& text) {
  std::size_t columns = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
  }
  return columns;
}

std::string Ellipsised(const std::string& text, std::size_t width, bool keep_end) {
  const std::size_t columns = DisplayWidth(text);
  if (columns <= width) return text;
  if (width == 0) return "";
  if (!keep_end) return Cut(text, width - 1) + "\u2026";
  // The last width - 1 code points.
  std::size_t skip = columns - (width - 1);
  std::size_t at = 0;
  while (at < text.size()) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
      if (skip == 0) break;
      --skip;
    }
    ++at;
  }
  return "\u2026" + text.substr(at);
}

std::string Sparkline(std::span<const double> values, double low, double high) {
  std::string line;
  for (const double value : values) {
    if (!std::isfinite(value)) {
      line += ' ';
      continue;
    }
    long level = 0;
    if (high > low) level = std::lround((value - low) / (high - low) * 7.0);
    line += kBlocks[std::clamp<long>(level, 0, 7)];
  }
  return line;
}

std::string Sparkline(std::span<const double> values) {
  double low = INFINITY;
  double high = -INFINITY;
  for (const double value : values) {
    if (!std::isfinite(value)) continue;
    low = std::min(low, value);
    high = std::max(high, value);
  }
  return Sparkline(values, low, high);
}

TableView::TableView(const std::vector<std::string>& targets, const std::vector<CounterInfo>& counters)
    : targets_(targets), counters_(counters), series_(targets.size() * counters.size()) {
  for (std::size_t i = 0; i < series_.size(); ++i) series_[i].unit = counters_[i % counters_.size()].unit;
}

void TableView::Add(std::size_t series, const ReadingRow& row) {
  if (series >= series_.size()) return;
  Series& entry = series_[series];
  entry.status = row.status;
  entry.result = row.result;
  // A failing source shows its state, not its last value as if it were current.
  entry.shows_number = ShowsNumber(row);
  if (entry.shows_number) entry.reading = row.reading;
  if (row.has_reading) entry.unit = ReadingUnit(counters_[series % counters_.size()].unit, IsRate(row.reading));
  switch (row.status) {
    case ReadingStatus::kWaiting: entry.word = "waiting"; break;
    case ReadingStatus::kFirst: entry.word = "first"; break;
    case ReadingStatus::kReset: entry.word = "reset"; break;
    case ReadingStatus::kStale: entry.word = "stale"; break;
    case ReadingStatus::kRetrying: entry.word = "retrying"; break;
    case ReadingStatus::kError: entry.word = "err " + std::to_string(row.result); break;
    case ReadingStatus::kNew:
    case ReadingStatus::kUnchanged:
    default:
      // A withheld number repeats the word of the reading it belongs to ("first", "reset").
      if (entry.shows_number) entry.word.clear();
      break;
  }
  double drawn = NAN;
  if (row.status == ReadingStatus::kNew && entry.shows_number) {
    drawn = ReadingNumber(row.reading);
  } else if (row.status != ReadingStatus::kRetrying && row.status != ReadingStatus::kError) {
    return;  // nothing new to draw
  } else if (entry.recent.empty()) {
    return;  // no outage to mark before the first reading
  }
  entry.recent.push_back(drawn);
  if (entry.recent.size() > kSparkLength) entry.recent.pop_front();
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
  if (messages_.size() > kMessagesKept) messages_.pop_front();
}

bool TableView::Matches(const CounterInfo& counter) const {
  if (filter_.empty()) return true;
  const std::string wanted = Lowercase(filter_);
  return Lowercase(counter.label).find(wanted) != std::string::npos ||
         Lowercase(counter.counter).find(wanted) != std::string::npos;
}

TableView::Layout TableView::Lay(std::size_t width, std::size_t height) const {
  Layout layout;
  std::size_t longest = 0;
  for (const CounterInfo& counter : counters_) {
    longest = std::max(longest, DisplayWidth(counter.label.empty() ? counter.counter : counter.label));
  }
  const std::size_t wanted = std::clamp(longest, kLabelMinimum, kLabelWanted);
  // A row: label, then per column "  value spark", then " range".
  const auto room_for_sparks = [&](std::size_t columns, std::size_t label) -> std::size_t {
    const std::size_t fixed = label + columns * (3 + kValueWidth) + 1 + kRangeWidth;
    return width > fixed ? (width - fixed) / columns : 0;
  };
  layout.grid = targets_.size() > 1 && room_for_sparks(targets_.size(), kLabelMinimum) >= kSparkMinimum;
  const std::size_t columns = layout.grid ? targets_.size() : 1;
  layout.spark_width = std::clamp(room_for_sparks(columns, wanted), kSparkMinimum, kSparkLength);
  if (room_for_sparks(columns, wanted) < kSparkMinimum) {
    layout.spark_width = std::max<std::size_t>(room_for_sparks(columns, kLabelMinimum), 1);
  }
  const std::size_t fixed = columns * (3 + kValueWidth + layout.spark_width) + 1;
  const std::size_t rest = width > fixed + kLabelMinimum + kRangeWidth ? width - fixed : kLabelMinimum + kRangeWidth;
  // What the label does not need widens the range.
  layout.range_width = std::clamp(rest - std::min(rest, wanted), kRangeWidth, kRangeWanted);
  layout.label_width = rest - layout.range_width;
  layout.labels = ShownLabels(counters_, layout.label_width);

  for (std::size_t t = 0; t < (layout.grid ? 1 : targets_.size()); ++t) {
    bool heading_added = false;
    for (std::size_t c = 0; c < counters_.size(); ++c) {
      if (!Matches(counters_[c])) continue;
      if (!layout.grid && targets_.size() > 1 && !heading_added) {
        layout.entries.push_back({true, t, c});
        heading_added = true;
      }
      layout.entries.push_back({false, t, c});
    }
  }
  layout.body_rows = height == 0 ? layout.entries.size() : (height > kFrameLines + 1 ? height - kFrameLines : 1);
  return layout;
}

TableView::Page TableView::PageFrom(const Layout& layout, std::size_t first) const {
  Page page;
  page.first = std::min(first, layout.entries.size());
  std::size_t lines = 0;
  if (page.first < layout.entries.size() && !layout.entries[page.first].heading && !layout.grid &&
      targets_.size() > 1) {
    page.repeats_heading = true;
    ++lines;
  }
  page.end = page.first;
  while (page.end < layout.entries.size() && lines < layout.body_rows) {
    ++page.end;
    ++lines;
  }
  // A heading does not end a page when its rows follow on the next.
  if (page.end < layout.entries.size() && page.end > page.first + 1 && layout.entries[page.end - 1].heading) --page.end;
  return page;
}

std::vector<std::size_t> TableView::PageStarts(const Layout& layout) const {
  std::vector<std::size_t> starts{0};
  while (true) {
    const Page page = PageFrom(layout, starts.back());
    if (page.end >= layout.entries.size() || page.end <= page.first) return starts;
    starts.push_back(page.end);
  }
}

TableView::KeyEffect TableView::Press(const KeyPress& key, std::size_t width, std::size_t height) {
  using Kind = KeyPress::Kind;
  if (typing_) {
    switch (key.kind) {
      case Kind::kCharacter: typed_ += key.text; return KeyEffect::kRedraw;
      case Kind::kBackspace:
        // One UTF-8 character back.
        while (!typed_.empty() && (static_cast<unsigned char>(typed_.back()) & 0xC0) == 0x80) typed_.pop_back();
        if (!typed_.empty()) typed_.pop_back();
        return KeyEffect::kRedraw;
      case Kind::kEnter:
        typing_ = false;
        filter_ = typed_;
        first_ = 0;
        return KeyEffect::kRedraw;
      case Kind::kEscape:
        typing_ = false;
        typed_.clear();
        filter_.clear();
        first_ = 0;
        return KeyEffect::kRedraw;
      default: break;  // the paging keys work while typing
    }
  }
  if (help_) {
    if (key.Is('q')) return KeyEffect::kQuit;
    help_ = false;
    return KeyEffect::kRedraw;
  }
  const Layout layout = Lay(width, height);
  const std::vector<std::size_t> starts = PageStarts(layout);
  const std::size_t first = std::min(first_, layout.entries.empty() ? 0 : layout.entries.size() - 1);
  const Page page = PageFrom(layout, first);
  const std::size_t before = first_;
  if (key.kind == Kind::kPageDown || key.Is(' ')) {
    if (page.end < layout.entries.size()) first_ = page.end;
  } else if (key.kind == Kind::kPageUp || key.Is('b')) {
    std::size_t previous = 0;
    for (const std::size_t start : starts) {
      if (start < first) previous = start;
    }
    first_ = previous;
  } else if (key.kind == Kind::kDown || key.Is('j')) {
    if (page.end < layout.entries.size()) first_ = first + 1;
  } else if (key.kind == Kind::kUp || key.Is('k')) {
    first_ = first > 0 ? first - 1 : 0;
  } else if (key.kind == Kind::kHome || key.Is('g')) {
    first_ = 0;
  } else if (key.kind == Kind::kEnd || key.Is('G')) {
    first_ = starts.back();
  } else if (key.Is('/')) {
    typing_ = true;
    typed_ = filter_;
    return KeyEffect::kRedraw;
  } else if (key.kind == Kind::kEscape) {
    if (filter_.empty()) return KeyEffect::kNone;
    filter_.clear();
    first_ = 0;
    return KeyEffect::kRedraw;
  } else if (key.Is('?')) {
    help_ = true;
    return KeyEffect::kRedraw;
  } else if (key.Is('q') || key.Is('Q')) {
    return KeyEffect::kQuit;
  } else {
    return KeyEffect::kNone;
  }
  return first_ != before ? KeyEffect::kRedraw : KeyEffect::kNone;
}

std::string TableView::TitleLine(const SessionStatus& status, std::size_t width) const {
  return FitParts({{"sarvik-host", 0},
                   {status.targets, 1},
                   {"elapsed " + Clock(status.elapsed_seconds), 2},
                   {"readings " + std::to_string(status.readings), 5},
                   {"errors " + std::to_string(status.errors), 4},
                   {"every " + DisplayNumber(status.interval_seconds) + " s", 6},
                   {status.ended ? "(ended)" : "", 3}},
                  width);
}

std::string TableView::HeadLine(const Layout& layout) const {
  std::string line = PadRight("Counter", layout.label_width);
  const std::size_t cell = kValueWidth + 1 + layout.spark_width;
  if (layout.grid) {
    // Target names differ at their end (the port): a name too long keeps its end.
    // A name may take the column that separates it from the one before.
    for (const std::string& target : targets_) line += " " + PadRight(Ellipsised(target, cell + 1, true), cell + 1);
  } else {
    line += "  " + PadLeft("Value", kValueWidth) + " " + PadRight("Trend", layout.spark_width);
  }
  return line + " " + PadRight("min\u2013max", layout.range_width);
}

std::string TableView::RowLine(const Layout& layout, const Entry& entry) const {
  if (entry.heading) return "\u2500\u2500 " + targets_[entry.target];
  std::vector<const Series*> cells;
  if (layout.grid) {
    for (std::size_t t = 0; t < targets_.size(); ++t) cells.push_back(&series_[t * counters_.size() + entry.counter]);
  } else {
    cells.push_back(&series_[entry.target * counters_.size() + entry.counter]);
  }
  // One scale for the row: its lowest and highest recent reading over every cell.
  double low = INFINITY;
  double high = -INFINITY;
  std::string unit = cells.front()->unit;
  for (const Series* cell : cells) {
    for (const double value : cell->recent) {
      if (!std::isfinite(value)) continue;
      low = std::min(low, value);
      high = std::max(high, value);
      unit = cell->unit;
    }
  }
  std::string line = PadRight(layout.labels[entry.counter], layout.label_width);
  for (const Series* cell : cells) {
    const bool number = cell->shows_number && cell->status != ReadingStatus::kStale;
    const std::string value =
        number ? ReadableNumber(ReadingNumber(cell->reading), cell->unit) : (cell->word.empty() ? "\u2013" : cell->word);
    // The newest readings that fit, the newest last.
    const std::size_t count = std::min(layout.spark_width, cell->recent.size());
    const std::vector<double> drawn(cell->recent.end() - static_cast<std::ptrdiff_t>(count), cell->recent.end());
    line += "  " + PadLeft(value, kValueWidth) + " " + PadRight(Sparkline(drawn, low, high), layout.spark_width);
  }
  std::string range;
  if (std::isfinite(low)) {
    range = CompactNumber(low, unit);
    if (high > low) {
      // The unit once when both ends share it: "82.5–108ms", not "82.5ms–108ms".
      const std::string high_text = CompactNumber(high, unit);
      const std::size_t unit_from = high_text.find_last_of("0123456789") + 1;
      const std::string high_unit = high_text.substr(unit_from);
      if (!high_unit.empty() && range.size() > high_unit.size() &&
          range.compare(range.size() - high_unit.size(), high_unit.size(), high_unit) == 0 &&
          std::isdigit(static_cast<unsigned char>(range[range.size() - high_unit.size() - 1])) != 0) {
        range.resize(range.size() - high_unit.size());
      }
      range += "\u2013" + high_text;
    }
  }
  return line + " " + Ellipsised(range, layout.range_width);
}

std::string TableView::FooterLine(const SessionStatus& status, const Layout& layout, const Page& page,
                                  std::size_t width) const {
  std::size_t rows = 0;
  std::size_t shown_from = 0;
  std::size_t shown_to = 0;
  for (std::size_t i = 0; i < layout.entries.size(); ++i) {
    if (layout.entries[i].heading) continue;
    ++rows;
    if (i >= page.first && i < page.end) {
      if (shown_from == 0) shown_from = rows;
      shown_to = rows;
    }
  }
  const std::vector<std::size_t> starts = PageStarts(layout);
  std::size_t page_number = 0;
  for (const std::size_t start : starts) page_number += start <= page.first ? 1 : 0;
  const std::string position = rows == 0 ? "no rows"
                                         : "rows " + std::to_string(shown_from) + "\u2013" + std::to_string(shown_to) +
                                               " of " + std::to_string(rows);
  const std::string filter = filter_.empty() ? "" : "filter \"" + filter_ + "\"";
  if (!status.takes_keys) {
    return FitParts({{position, 0}, {filter, 1}, {status.ended ? "" : "Ctrl-C ends", 2}}, width);
  }
  return FitParts({{position, 0},
                   {"page " + std::to_string(page_number) + "/" + std::to_string(starts.size()), 1},
                   {filter, 2},
                   {"PgDn/PgUp space/b", 4},
                   {"j/k", 7},
                   {filter_.empty() ? "/ filter" : "/ filter Esc clears", 5},
                   {"? keys", 6},
                   {"q quit", 3}},
                  width);
}

std::string TableView::HelpFrame(const SessionStatus& status, std::size_t width, std::size_t height) const {
  std::vector<std::string> lines{TitleLine(status, width),
                                 "Keys",
                                 "  PgDn, space    next page          PgUp, b   previous page",
                                 "  Down, j        one row down       Up, k     one row up",
                                 "  Home, g        first page         End, G    last page",
                                 "  /              filter by label or counter text (Enter applies, Esc clears)",
                                 "  ?              this help (any key returns)       q    end the session",
                                 "A cell shows the latest value, or the counter's state:",
                                 "  first     the first rate: no earlier sample to take it against",
                                 "  reset     the total fell (the server restarted); the next rate starts anew",
                                 "  stale     the server's statistics have not moved for several intervals",
                                 "  retrying  the server failed; its counters are activated again now and then",
                                 "  waiting   no statistics yet       err N    the plug-in's call failed with N",
                                 "Sparklines share their row's scale: lowest to highest reading (min\u2013max).",
                                 "Latest messages:"};
  const std::size_t room = height == 0 ? messages_.size() : (height > lines.size() ? height - lines.size() : 0);
  const std::size_t shown = std::min(room, messages_.size());
  for (std::size_t i = messages_.size() - shown; i < messages_.size(); ++i) lines.push_back("  " + messages_[i]);
  if (height > 0 && lines.size() > height) lines.resize(height);
  std::string frame;
  for (const std::string& line : lines) frame += Ellipsised(line, width) + "\n";
  return frame;
}

std::string TableView::Render(const SessionStatus& status, std::size_t width, std::size_t height) const {
  if (width < 20) width = 20;
  if (help_) return HelpFrame(status, width, height);
  const Layout layout = Lay(width, height);
  std::vector<std::string> lines;
  lines.push_back(TitleLine(status, width));
  lines.push_back(HeadLine(layout));

  const std::size_t first =
      height == 0 ? 0 : std::min(first_, layout.entries.empty() ? 0 : layout.entries.size() - 1);
  const Page page = PageFrom(layout, first);
  if (page.repeats_heading) lines.push_back(RowLine(layout, {true, layout.entries[page.first].target, 0}));
  for (std::size_t i = page.first; i < page.end; ++i) lines.push_back(RowLine(layout, layout.entries[i]));
  if (layout.entries.empty()) lines.push_back("No counter matches \"" + filter_ + "\" (Esc clears the filter).");

  if (height == 0) {
    // Frames that follow each other (not a terminal): every row, and the latest messages.
    if (!messages_.empty()) {
      lines.push_back("Messages:");
      const std::size_t shown = std::min<std::size_t>(messages_.size(), 5);
      for (std::size_t i = messages_.size() - shown; i < messages_.size(); ++i) lines.push_back("  " + messages_[i]);
    }
  } else {
    while (lines.size() + 2 < height) lines.push_back("");
    if (typing_) {
      lines.push_back("Filter: " + typed_ + "_   (Enter applies, Esc clears)");
    } else {
      lines.push_back(messages_.empty() ? "" : messages_.back());
    }
    lines.push_back(FooterLine(status, layout, page, width));
    if (lines.size() > height) lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(lines.size() - height));
  }
  std::string frame;
  for (const std::string& line : lines) frame += Ellipsised(line, width) + "\n";
  return frame;
}

}  // namespace sarvik_host
