#include "tools/host/monitor_run.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>

#include "tools/host/exit_codes.h"
#include "tools/host/metrics_board.h"
#include "tools/host/metrics_endpoint.h"
#include "tools/host/output_format.h"
#include "tools/host/reading_row.h"
#include "tools/host/report.h"
#include "tools/host/source_watch.h"
#include "tools/host/table_view.h"
#include "tools/host/terminal.h"
#include "tools/host/watched_call.h"

namespace sarvik_host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxReportMessages = 2000;

struct SeriesState {
  std::string id;  // the measurement identifier
  bool active = false;
  bool has_reading = false;
  ReadingRecord last{};
  bool last_withheld = false;  // the last reading was a first rate or a reset
  // What the last row showed, for the metrics endpoint.
  bool shows_number = false;
  int last_result = 1;
};

class MonitorRun {
 public:
  MonitorRun(PluginSession& session, SignalWatch& signals, const MonitorPlan& plan);
  int Run();

 private:
  enum class Ending { kDuration, kSignal, kOutputClosed, kQuit };

  std::size_t SeriesIndex(std::size_t target, std::size_t counter) const {
    return target * plan_.counters.size() + counter;
  }
  std::string Subject(std::size_t target, std::size_t counter) const {
    return plan_.counters[counter].counter + "@" + plan_.targets[target].display;
  }
  void Message(const std::string& call, const std::string& subject, const std::string& text);
  void Note(const std::string& text);
  // Keeps a message for the report (when one is written), up to kMaxReportMessages.
  void AddReportMessage(std::int64_t time_us, std::string source, const std::string& text,
                        ReportEventKind kind = ReportEventKind::kMessage, int target = -1);
  bool CheckReportPath();
  // Writes the report as it stands: of a running session (`how` empty) or of one that ended.
  bool WriteReport(const std::string& how);
  bool TestTargets();
  std::size_t ActivateAll();
  // Activates again the measurements of every failing target whose retry is due.
  void RetryFailingTargets();
  // Reads every active measurement once; false when the session must end.
  bool SampleAll();
  // Reads the active measurements of target `t` into rows_ and says what they tell of the source.
  SourceWatch::Round ReadTarget(std::size_t t);
  // Gives each row of rows_ the status it shows, now that the source's state is known.
  void LabelRows(std::size_t t);
  void Announce(std::size_t t, SourceWatch::State before, const std::string& text);
  void Emit(std::size_t series, const ReadingRow& row);
  void PublishMetrics();
  void Redraw(bool ended);
  // Waits until `due`, answering the table's keys and redrawing it when a key or the terminal's
  // size changes it; false when the session must end (a stop signal, q, or a closed output).
  bool WaitForRound(Clock::time_point due);
  bool Flush();
  void DeactivateAll();
  int Finish(Ending ending);

  PluginSession& session_;
  SignalWatch& signals_;
  const MonitorPlan& plan_;

  OutputFormat format_;
  bool stdout_is_terminal_;
  bool messages_to_stderr_;
  double interval_seconds_;
  std::vector<std::string> display_names_;
  // The output line being written, kept so that a reading allocates no line of its own.
  std::string line_;
  std::vector<SeriesState> series_;
  std::vector<SourceWatch> watches_;  // one per target
  // The rows of the target being read: (series index, row).
  std::vector<std::pair<std::size_t, ReadingRow>> rows_;
  std::unique_ptr<MetricsBoard> metrics_;
  // Declared after the board it serves, so that it stops before the board goes.
  std::unique_ptr<MetricsEndpoint> endpoint_;
  std::unique_ptr<TableView> table_;
  // The terminal the table is drawn on and takes keys from; gives the terminal back when it goes.
  std::unique_ptr<Terminal> terminal_;
  TerminalSize drawn_size_;  // the size the last frame was drawn for
  bool quit_ = false;        // the user pressed q
  ReportData report_;
  std::size_t dropped_messages_ = 0;
  std::int64_t report_written_us_ = 0;
  bool report_failed_ = false;  // a rewrite failed and said so
  Clock::time_point start_;
  long readings_ = 0;
  long errors_ = 0;
  bool output_failed_ = false;
};

MonitorRun::MonitorRun(PluginSession& session, SignalWatch& signals, const MonitorPlan& plan)
    : session_(session), signals_(signals), plan_(plan), interval_seconds_(plan.interval_seconds) {
  stdout_is_terminal_ = isatty(STDOUT_FILENO) != 0;
  format_ = plan.format;
  if (format_ == OutputFormat::kAuto) format_ = stdout_is_terminal_ ? OutputFormat::kTable : OutputFormat::kJsonl;
  // On a terminal that shows the table, messages appear below the table instead.
  messages_to_stderr_ = !(format_ == OutputFormat::kTable && stdout_is_terminal_ && isatty(STDERR_FILENO) != 0);
  for (const MonitoredTarget& target : plan.targets) display_names_.push_back(target.display);
  series_.resize(plan.targets.size() * plan.counters.size());
  for (std::size_t t = 0; t < plan.targets.size(); ++t) {
    for (std::size_t c = 0; c < plan.counters.size(); ++c) {
      series_[SeriesIndex(t, c)].id = plan.counters[c].counter + plan.targets[t].id_suffix;
    }
  }
  if (format_ == OutputFormat::kTable) table_ = std::make_unique<TableView>(display_names_, plan.counters);
  if (table_ && stdout_is_terminal_) terminal_ = Terminal::Open();
  if (!plan.listen.empty()) metrics_ = std::make_unique<MetricsBoard>();
  report_.targets = display_names_;
  if (!plan.report_path.empty()) {
    for (std::size_t t = 0; t < plan.targets.size(); ++t) {
      for (const CounterInfo& counter : plan.counters) {
        ReportSeries entry;
        entry.target = plan.targets[t].display;
        entry.counter = counter.counter;
        entry.label = counter.label;
        entry.unit = counter.unit;
        report_.series.push_back(std::move(entry));
      }
    }
  }
}

void MonitorRun::Message(const std::string& call, const std::string& subject, const std::string& text) {
  if (text.empty()) return;
  const std::int64_t now = NowMicroseconds();
  if (messages_to_stderr_) PrintPluginMessage(call, subject, text);
  if (table_) table_->AddMessage(now, call + "(" + subject + "): " + text);
  AddReportMessage(now, call + "(" + subject + ")", text);
}

void MonitorRun::AddReportMessage(std::int64_t time_us, std::string source, const std::string& text,
                                  ReportEventKind kind, int target) {
  if (plan_.report_path.empty()) return;
  if (report_.messages.size() < kMaxReportMessages) {
    report_.messages.push_back({time_us, std::move(source), text, kind, target});
  } else {
    ++dropped_messages_;
  }
}

void MonitorRun::Note(const std::string& text) {
  if (messages_to_stderr_) std::fprintf(stderr, "sarvik-host: %s\n", text.c_str());
  if (table_) table_->AddMessage(NowMicroseconds(), text);
}

bool MonitorRun::CheckReportPath() {
  if (plan_.report_path.empty()) return true;
  return WriteReport("");
}

bool MonitorRun::WriteReport(const std::string& how) {
  report_.end_us = NowMicroseconds();
  report_.running = how.empty();
  report_.ending = how;
  report_.readings = readings_;
  report_.errors = errors_;
  report_.interval_seconds = interval_seconds_;
  std::string error;
  report_written_us_ = report_.end_us;
  if (!WriteReportFile(plan_.report_path, RenderReport(report_), &error)) {
    // A rewrite that fails is said once; the session goes on and tries again.
    if (!report_failed_ || !how.empty()) std::fprintf(stderr, "sarvik-host: %s\n", error.c_str());
    report_failed_ = true;
    return false;
  }
  return true;
}

bool MonitorRun::TestTargets() {
  std::size_t failed = 0;
  for (const MonitoredTarget& target : plan_.targets) {
    CallResult result;
    CallWatched(signals_, [&] { result = session_.TestMachine(target.host, target.user_data); });
    if (result.code != 0) {
      ++failed;
      std::fprintf(stderr, "sarvik-host: TestMachine(%s): %s\n", target.display.c_str(),
                   result.message.empty() ? ("failed with result " + std::to_string(result.code)).c_str()
                                          : result.message.c_str());
    }
    if (signals_.Poll() != 0) return true;
  }
  if (failed == plan_.targets.size()) {
    std::fprintf(stderr, "sarvik-host: no target answered its connection test (--no-test skips the test)\n");
    return false;
  }
  return true;
}

std::size_t MonitorRun::ActivateAll() {
  std::size_t active = 0;
  for (std::size_t t = 0; t < plan_.targets.size(); ++t) {
    const MonitoredTarget& target = plan_.targets[t];
    for (std::size_t c = 0; c < plan_.counters.size(); ++c) {
      SeriesState& state = series_[SeriesIndex(t, c)];
      const CallResult result = session_.Activate(state.id, target.host, target.user_data);
      Message("ActivateMeasurement", Subject(t, c), result.message);
      if (result.code == 0) {
        state.active = true;
        ++active;
      } else {
        ++errors_;
        if (result.message.empty()) {
          Message("ActivateMeasurement", Subject(t, c), "failed with result " + std::to_string(result.code));
        }
        if (table_) {
          ReadingRow row;
          row.status = ReadingStatus::kError;
          row.result = result.code;
          table_->Add(SeriesIndex(t, c), row);
        }
      }
    }
    if (signals_.Poll() != 0) break;
  }
  return active;
}

void MonitorRun::Emit(std::size_t series, const ReadingRow& row) {
  std::string& line = line_;
  line.clear();
  switch (format_) {
    case OutputFormat::kCsv: AppendCsvRecord(row, &line); break;
    case OutputFormat::kJsonl: AppendJsonRecord(row, &line); break;
    case OutputFormat::kTable:
    case OutputFormat::kAuto:
    default: break;
  }
  if (!line.empty() && std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) output_failed_ = true;
  if (table_) table_->Add(series, row);
  if (!plan_.report_path.empty()) {
    // The charts draw what the row shows; a row without a current number is a gap.
    const bool current = row.status == ReadingStatus::kNew || row.status == ReadingStatus::kUnchanged;
    if (current && ShowsNumber(row)) report_.timeline.Set(series, ReadingNumber(row.reading));
    if (row.status == ReadingStatus::kNew && ShowsNumber(row)) {
      ReportSeries& entry = report_.series[series];
      entry.kind = KindName(row.reading);
      entry.unit = ReadingUnit(row.counter->unit, IsRate(row.reading));
      entry.statistics.Add(ReadingNumber(row.reading));
    }
  }
}

void MonitorRun::RetryFailingTargets() {
  for (std::size_t t = 0; t < plan_.targets.size(); ++t) {
    const std::int64_t now = NowMicroseconds();
    if (!watches_[t].RetryDue(now)) continue;
    const MonitoredTarget& target = plan_.targets[t];
    for (std::size_t c = 0; c < plan_.counters.size(); ++c) {
      SeriesState& state = series_[SeriesIndex(t, c)];
      // A server the plug-in gave up is started again by a new activation of its measurements.
      const CallResult result = session_.Activate(state.id, target.host, target.user_data);
      if (result.code == 0) {
        state.active = true;
      } else {
        Message("ActivateMeasurement", Subject(t, c), result.message);
      }
    }
    watches_[t].Retried(now);
  }
}

SourceWatch::Round MonitorRun::ReadTarget(std::size_t t) {
  const MonitoredTarget& target = plan_.targets[t];
  SourceWatch::Round round;
  rows_.clear();
  for (std::size_t c = 0; c < plan_.counters.size(); ++c) {
    const std::size_t index = SeriesIndex(t, c);
    SeriesState& state = series_[index];
    if (!state.active) continue;
    ReadingRow row;
    row.target = &display_names_[t];
    row.counter = &plan_.counters[c];
    row.polled_us = NowMicroseconds();
    bool written = false;
    ReadingRecord reading;
    const CallResult result = session_.GetNewData(state.id, target.host, &reading, &written);
    row.result = result.code;
    row.message = result.message;
    if (result.code == 0 && written) {
      row.status = ReadingStatus::kNew;
      state.has_reading = true;
      state.last = reading;
      ++readings_;
    } else if (result.code == 0) {
      row.status = ReadingStatus::kUnchanged;
    } else if (result.code == 1) {
      row.status = ReadingStatus::kWaiting;
    } else {
      row.status = ReadingStatus::kError;
      ++errors_;
    }
    if (row.status == ReadingStatus::kNew || row.status == ReadingStatus::kUnchanged) {
      row.has_reading = state.has_reading;
      row.reading = state.last;
      round.any_reading = round.any_reading || state.has_reading;
      if (state.has_reading) {
        const std::int64_t time = Microseconds(SnapshotTime(state.last));
        if (!round.snapshot_time_us || time > *round.snapshot_time_us) round.snapshot_time_us = time;
      }
    } else if (IsSourceFailure(result.code)) {
      if (!round.failed) round.failure_result = result.code;
      round.failed = true;
      if (round.failure_message.empty()) round.failure_message = result.message;
    }
    rows_.emplace_back(index, std::move(row));
  }
  return round;
}

void MonitorRun::LabelRows(std::size_t t) {
  const SourceWatch::State source = watches_[t].state();
  for (auto& [index, row] : rows_) {
    SeriesState& state = series_[index];
    if (row.status == ReadingStatus::kNew) {
      // The first rate is taken against nothing and a rate below zero against a total that fell:
      // neither is a rate. The plug-in's next rate starts from this sample.
      const bool first = IsRate(row.reading) && !HasEarlierSample(row.reading);
      const bool reset = !first && IsRate(row.reading) && ReadingNumber(row.reading) < 0;
      if (first) row.status = ReadingStatus::kFirst;
      if (reset) row.status = ReadingStatus::kReset;
      state.last_withheld = first || reset;
    }
    if (row.has_reading) row.withheld = state.last_withheld;
    if (source == SourceWatch::State::kFailing &&
        (row.status == ReadingStatus::kWaiting || (row.status == ReadingStatus::kError && IsSourceFailure(row.result)))) {
      row.status = ReadingStatus::kRetrying;
      row.has_reading = false;
    } else if (source == SourceWatch::State::kStale && row.status == ReadingStatus::kUnchanged) {
      row.status = ReadingStatus::kStale;
    }
    state.shows_number = ShowsNumber(row);
    state.last_result = row.result;
  }
}

void MonitorRun::Announce(std::size_t t, SourceWatch::State before, const std::string& text) {
  Note(text);
  const SourceWatch::State after = watches_[t].state();
  ReportEventKind kind = ReportEventKind::kMessage;
  if (after == SourceWatch::State::kFailing) kind = ReportEventKind::kOutage;
  else if (after == SourceWatch::State::kStale) kind = ReportEventKind::kStale;
  else if (before == SourceWatch::State::kFailing) kind = ReportEventKind::kBack;
  else if (before == SourceWatch::State::kStale) kind = ReportEventKind::kFresh;
  AddReportMessage(NowMicroseconds(), "sarvik-host", text, kind, static_cast<int>(t));
  // In the machine-readable outputs the first row of the target in this round carries it; a
  // failure's sentence already quotes the plug-in's message.
  if (rows_.empty()) return;
  std::string& message = rows_.front().second.message;
  const bool quotes_it = watches_[t].state() == SourceWatch::State::kFailing;
  message = message.empty() || quotes_it ? text : message + "; " + text;
}

bool MonitorRun::SampleAll() {
  if (!plan_.report_path.empty()) report_.timeline.StartRound(NowMicroseconds());
  RetryFailingTargets();
  for (std::size_t t = 0; t < plan_.targets.size(); ++t) {
    const SourceWatch::Round round = ReadTarget(t);
    const SourceWatch::State before = watches_[t].state();
    const bool was_failing = before == SourceWatch::State::kFailing;
    const std::string change = watches_[t].Observe(NowMicroseconds(), round);
    const bool failing = watches_[t].state() == SourceWatch::State::kFailing;
    for (const auto& [index, row] : rows_) {
      // While a source fails, its failure was told once, with the announcement; every counter
      // repeating it would bury the rest.
      if (failing && (was_failing || !change.empty()) && IsSourceFailure(row.result)) continue;
      Message("GetNewData", Subject(t, index % plan_.counters.size()), row.message);
    }
    LabelRows(t);
    if (!change.empty()) Announce(t, before, change);
    for (const auto& [index, row] : rows_) {
      Emit(index, row);
      if (output_failed_) return false;
    }
    if (signals_.Poll() != 0) return false;
  }
  PublishMetrics();
  return true;
}

void MonitorRun::PublishMetrics() {
  if (!metrics_) return;
  MetricsSnapshot snapshot;
  snapshot.published_us = NowMicroseconds();
  snapshot.readings_total = static_cast<std::uint64_t>(readings_);
  for (std::size_t t = 0; t < plan_.targets.size(); ++t) {
    MetricsSourceState source;
    source.target = plan_.targets[t].display;
    source.host = plan_.targets[t].host;
    source.up = watches_[t].state() != SourceWatch::State::kFailing && watches_[t].snapshot_time_us().has_value();
    source.snapshot_time_us = watches_[t].snapshot_time_us();
    snapshot.sources.push_back(std::move(source));
    for (std::size_t c = 0; c < plan_.counters.size(); ++c) {
      const SeriesState& state = series_[SeriesIndex(t, c)];
      if (!state.active) continue;
      MetricsCounterState counter;
      counter.source = t;
      counter.counter = plan_.counters[c].counter;
      counter.label = plan_.counters[c].label;
      counter.unit = plan_.counters[c].unit;
      counter.is_rate = state.has_reading && IsRate(state.last);
      counter.has_value = state.shows_number;
      counter.value = state.has_reading ? ReadingNumber(state.last) : 0;
      counter.last_result_code = state.last_result;
      snapshot.counters.push_back(std::move(counter));
    }
  }
  metrics_->Publish(std::move(snapshot));
}

void MonitorRun::Redraw(bool ended) {
  if (!table_) return;
  SessionStatus status;
  status.targets = plan_.targets.size() == 1 ? plan_.targets[0].display
                                              : std::to_string(plan_.targets.size()) + " targets";
  status.elapsed_seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  status.interval_seconds = interval_seconds_;
  status.readings = readings_;
  status.errors = errors_;
  status.ended = ended;
  status.takes_keys = terminal_ && terminal_->ReadsKeys() && !ended;
  std::size_t width = 120;
  std::size_t height = 0;
  if (terminal_) {
    drawn_size_ = terminal_->Size().value_or(TerminalSize{});
    if (drawn_size_.columns > 0) {
      width = drawn_size_.columns;
      // One line short of the terminal: the last line's line feed would scroll the frame.
      height = drawn_size_.rows > 1 ? drawn_size_.rows - 1 : 0;
    }
  }
  std::string frame = table_->Render(status, width, height);
  // On a terminal the frame replaces the last one; elsewhere frames follow each other.
  frame = stdout_is_terminal_ ? "\x1b[H\x1b[J" + frame : frame + "\n";
  if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size()) output_failed_ = true;
}

bool MonitorRun::WaitForRound(Clock::time_point due) {
  // Short waits notice a new terminal size soon (SIGWINCH is not watched).
  constexpr auto kSizeCheck = std::chrono::milliseconds(250);
  while (true) {
    const Clock::time_point now = Clock::now();
    if (now >= due) return true;
    // Rounded up: poll's millisecond rounding would wake it a little early.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
    const int keys = terminal_ ? terminal_->KeyHandle() : -1;
    bool key_waits = false;
    if (signals_.Wait(terminal_ ? std::min(left, kSizeCheck) : left, keys, &key_waits) != 0) return false;
    if (!terminal_) continue;
    bool changed = false;
    if (key_waits) {
      const std::size_t height = drawn_size_.rows > 1 ? drawn_size_.rows - 1 : 0;
      for (const KeyPress& key : terminal_->TakeKeys()) {
        const TableView::KeyEffect effect = table_->Press(key, drawn_size_.columns, height);
        if (effect == TableView::KeyEffect::kQuit) {
          quit_ = true;
          return false;
        }
        changed = changed || effect == TableView::KeyEffect::kRedraw;
      }
    }
    const TerminalSize size = terminal_->Size().value_or(TerminalSize{});
    if (changed || size.columns != drawn_size_.columns || size.rows != drawn_size_.rows) {
      Redraw(false);
      if (!Flush()) return false;
    }
  }
}

bool MonitorRun::Flush() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) output_failed_ = true;
  return !output_failed_;
}

void MonitorRun::DeactivateAll() {
  const auto active = session_.Active();
  for (const auto& [id, host] : active) {
    const CallResult result = session_.Deactivate(id, host);
    Message("DeActivateMeasurement", id + "@" + host, result.message);
  }
}

int MonitorRun::Finish(Ending ending) {
  const std::size_t deactivated = session_.Active().size();
  DeactivateAll();
  session_.Terminate();
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  if (!output_failed_) {
    Redraw(true);
    Flush();
  }

  int status = kExitSuccess;
  std::string how = "end of the duration";
  if (ending == Ending::kSignal) {
    const int signal = signals_.received();
    status = ExitStatusOfSignal(signal);
    how = std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP");
  } else if (ending == Ending::kQuit) {
    how = "ended by the q key";
    if (errors_ > 0) status = kExitFailure;
  } else if (ending == Ending::kOutputClosed) {
    status = kExitFailure;
    how = "the output was closed";
  } else if (errors_ > 0) {
    status = kExitFailure;
  }

  if (!plan_.report_path.empty()) {
    if (dropped_messages_ > 0) {
      report_.messages.push_back({NowMicroseconds(), "sarvik-host",
                                  std::to_string(dropped_messages_) + " more messages are not listed here"});
    }
    if (!WriteReport(how) && status == kExitSuccess) status = kExitFailure;
  }
  std::fprintf(stderr, "sarvik-host: %s after %.1f s: %ld readings, %ld errors; %zu measurements deactivated\n",
               how.c_str(), elapsed, readings_, errors_, deactivated);
  return status;
}

int MonitorRun::Run() {
  start_ = Clock::now();
  report_.start_us = NowMicroseconds();
  if (!CheckReportPath()) {
    session_.Terminate();
    return kExitUsage;
  }
  if (metrics_) {
    std::string error;
    endpoint_ = MetricsEndpoint::Start(plan_.listen, *metrics_, &error);
    if (!endpoint_) {
      std::fprintf(stderr, "sarvik-host: %s\n", error.c_str());
      session_.Terminate();
      return kExitUsage;
    }
    Note("metrics at http://" + endpoint_->address() + "/metrics");
  }

  // The configuration may set the sampling period in place of the host's.
  std::uint32_t rate_ms = static_cast<std::uint32_t>(std::lround(plan_.interval_seconds * 1000));
  if (session_.SetMonitorRate(&rate_ms) == 0) {
    interval_seconds_ = rate_ms / 1000.0;
    Note("the configuration's SamplingRate sets the interval to " + DisplayNumber(interval_seconds_) + " s");
  }
  if (interval_seconds_ < 1.0) {
    Note("a measurement takes at most one reading a second; readings in between are shown as unchanged");
  }
  for (const MonitoredTarget& target : plan_.targets) {
    watches_.emplace_back(target.display, std::llround(interval_seconds_ * 1e6));
  }

  if (plan_.test_first && !TestTargets()) {
    session_.Terminate();
    return kExitFailure;
  }
  if (signals_.Poll() != 0) return Finish(Ending::kSignal);

  if (ActivateAll() == 0) {
    std::fprintf(stderr, "sarvik-host: no measurement could be activated\n");
    session_.Terminate();
    return kExitFailure;
  }
  if (signals_.Poll() != 0) return Finish(Ending::kSignal);

  if (format_ == OutputFormat::kCsv) {
    const std::string header = CsvHeader();
    if (std::fwrite(header.data(), 1, header.size(), stdout) != header.size()) output_failed_ = true;
  }
  start_ = Clock::now();
  report_.start_us = NowMicroseconds();
  PublishMetrics();
  Redraw(false);
  if (!Flush()) return Finish(Ending::kOutputClosed);

  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval_seconds_));
  std::optional<Clock::time_point> end;
  if (plan_.duration_seconds) {
    end = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*plan_.duration_seconds));
  }
  for (long tick = 1;; ++tick) {
    Clock::time_point due = start_ + interval * tick;
    const bool last_wait = end && due > *end;
    if (last_wait) due = *end;
    if (!WaitForRound(due)) {
      return Finish(output_failed_ ? Ending::kOutputClosed : quit_ ? Ending::kQuit : Ending::kSignal);
    }
    if (last_wait) return Finish(Ending::kDuration);

    if (!SampleAll()) return Finish(output_failed_ ? Ending::kOutputClosed : Ending::kSignal);
    Redraw(false);
    if (!Flush()) return Finish(Ending::kOutputClosed);
    // A session killed without a chance to finish leaves the report of its last rewrite.
    if (!plan_.report_path.empty() && NowMicroseconds() - report_written_us_ >= kReportRewriteUs) {
      (void)WriteReport("");
    }

    // When a round takes longer than the interval, the next one starts at the next due time
    // instead of running behind.
    const long behind = static_cast<long>((Clock::now() - start_) / interval);
    if (behind > tick) tick = behind;
  }
}

}  // namespace

void PrintPluginMessage(const std::string& call, const std::string& subject, const std::string& text) {
  std::fprintf(stderr, "sarvik-host: %s(%s): %s\n", call.c_str(), subject.c_str(), text.c_str());
}

int RunMonitor(PluginSession& session, SignalWatch& signals, const MonitorPlan& plan) {
  MonitorRun run(session, signals, plan);
  return run.Run();
}

}  // namespace sarvik_host
