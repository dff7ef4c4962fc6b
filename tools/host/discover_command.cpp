#include "tools/host/discover_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tools/host/commands.h"
#include "tools/host/discover.h"
#include "tools/host/discover_fetch.h"
#include "tools/host/exit_codes.h"
#include "tools/host/output_format.h"
#include "tools/host/plugin_library.h"
#include "tools/host/targets.h"

namespace sarvik_host {

namespace {

void PrintError(const std::string& text) { std::fprintf(stderr, "sarvik-host: %s\n", text.c_str()); }

bool ReadFile(const std::string& path, std::string* contents) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::stringstream buffer;
  buffer << file.rdbuf();
  *contents = buffer.str();
  return !file.bad();
}

std::string KindName(const ProposedCounter& proposal) {
  return proposal.kind == ProposedCounter::Kind::kPattern ? "text" : "cell";
}

// "configured 12" or "new 29": what the proposal is, by the section that holds or will hold it.
std::string StateOf(const ProposedCounter& proposal) {
  return proposal.configured_section ? "configured" : "new";
}

// What finds the counter: the pattern in quotes, or the cell's place and the table's name.
std::string WhereOf(const ProposedCounter& proposal) {
  if (proposal.kind == ProposedCounter::Kind::kPattern) return "\"" + proposal.counter + "\"";
  return "row " + std::to_string(proposal.row) + " col " + std::to_string(proposal.column) + " in \"" +
         proposal.table_name + "\"";
}

// `text` cut to `width` characters (bytes of a multi-byte character kept together), with "..."
// where it was cut.
std::string Fit(const std::string& text, std::size_t width) {
  if (text.size() <= width) return text + std::string(width - text.size(), ' ');
  std::size_t cut = width - 3;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "..." + std::string(width - 3 - cut, ' ');
}

void PrintTable(const std::vector<ProposedCounter>& proposals, const std::vector<int>& sections) {
  std::printf("%-8s %-5s %-44s %-40s %-4s %s\n", "SECTION", "KIND", "FOUND BY", "LABEL", "RATE", "VALUE");
  for (std::size_t i = 0; i < proposals.size(); ++i) {
    const ProposedCounter& proposal = proposals[i];
    const std::string section = proposal.configured_section ? "[" + std::to_string(*proposal.configured_section) + "]"
                                                            : "new " + std::to_string(sections[i]);
    std::printf("%-8s %-5s %s %s %-4s %s\n", section.c_str(), KindName(proposal).c_str(),
                Fit(WhereOf(proposal), 44).c_str(), Fit(proposal.label, 40).c_str(),
                proposal.keep_previous ? "1" : "0", FormatNumber(proposal.value).c_str());
  }
}

void PrintCsv(const std::vector<ProposedCounter>& proposals, const std::vector<int>& sections) {
  std::printf("state,section,kind,counter,label,keep_prev_value,value,table_name,table_row,table_column,"
              "keep_reason,configured_counter\n");
  for (std::size_t i = 0; i < proposals.size(); ++i) {
    const ProposedCounter& p = proposals[i];
    const bool cell = p.kind == ProposedCounter::Kind::kTableCell;
    std::string line = StateOf(p) + "," + std::to_string(p.configured_section.value_or(sections[i])) + "," +
                       KindName(p) + "," + CsvField(p.counter) + "," + CsvField(p.label) + "," +
                       (p.keep_previous ? "1" : "0") + "," + FormatNumber(p.value) + "," +
                       CsvField(cell ? p.table_name : "") + "," + (cell ? std::to_string(p.row) : "") + "," +
                       (cell ? std::to_string(p.column) : "") + "," + CsvField(p.keep_reason) + "," +
                       CsvField(p.configured_counter) + "\n";
    std::fputs(line.c_str(), stdout);
  }
}

void PrintJsonl(const std::vector<ProposedCounter>& proposals, const std::vector<int>& sections) {
  for (std::size_t i = 0; i < proposals.size(); ++i) {
    const ProposedCounter& p = proposals[i];
    std::string line = "{\"state\":" + JsonString(StateOf(p)) +
                       ",\"section\":" + std::to_string(p.configured_section.value_or(sections[i])) +
                       ",\"kind\":" + JsonString(KindName(p)) + ",\"counter\":" + JsonString(p.counter) +
                       ",\"label\":" + JsonString(p.label) + ",\"keep_prev_value\":" + (p.keep_previous ? "1" : "0") +
                       ",\"value\":" + FormatNumber(p.value);
    if (p.kind == ProposedCounter::Kind::kTableCell) {
      line += ",\"table_name\":" + JsonString(p.table_name) + ",\"table_row\":" + std::to_string(p.row) +
              ",\"table_column\":" + std::to_string(p.column);
    }
    line += ",\"keep_reason\":" + JsonString(p.keep_reason) + "}\n";
    std::fputs(line.c_str(), stdout);
  }
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

}  // namespace

int RunDiscover(const CommandLine& command_line, SignalWatch& signals) {
  Target target;
  LoadedPlugin plugin;
  std::string user_data;
  if (!OpenFirstTarget(command_line, &target, &plugin, &user_data)) return kExitUsage;
  std::string error;
  plugin.session->Terminate();

  // The configuration the plug-in reads, for the proxy, the certificate check and the counters
  // it has.
  const std::string configuration_path = ExecutableDirectory() + "/../dat/monitors/Netscape.cfg";
  std::string configuration_text;
  if (!ReadFile(configuration_path, &configuration_text)) {
    PrintError("cannot read the configuration " + configuration_path);
    return kExitUsage;
  }
  const CounterConfiguration configuration = ReadCounterConfiguration(configuration_text);
  PageSource source;
  if (!MakePageSource(target.host, user_data, configuration, &source, &error)) {
    PrintError(target.host + ": " + error);
    return kExitUsage;
  }

  const PageCopies read = ReadPageCopies(source, std::chrono::seconds(kDiscoverFirstCopySeconds),
                                         std::chrono::seconds(kDiscoverSecondCopySeconds),
                                         [&signals] { return signals.Poll() != 0; });
  if (read.stopped) return kExitInterrupted;
  if (read.copies.empty()) {
    PrintError(read.error);
    return kExitFailure;
  }
  const std::string& copy = read.copies[0];
  std::vector<ProposedCounter> proposals =
      ProposeCounters(copy, read.copies.size() > 1 ? std::optional<std::string_view>(read.copies[1]) : std::nullopt);
  MarkConfigured(configuration, copy, &proposals);

  // The section each new counter gets.
  const NewSections planned = WriteNewSections(proposals, configuration, {});
  std::vector<int> sections;
  int next = planned.first_section;
  for (const ProposedCounter& proposal : proposals) sections.push_back(proposal.configured_section ? -1 : next++);

  OutputFormat format = command_line.format;
  if (format == OutputFormat::kAuto) format = OutputFormat::kTable;
  if (format == OutputFormat::kCsv) {
    PrintCsv(proposals, sections);
  } else if (format == OutputFormat::kJsonl) {
    PrintJsonl(proposals, sections);
  } else {
    PrintTable(proposals, sections);
  }
  if (std::fflush(stdout) != 0) return kExitFailure;

  const std::string where = std::string(source.https ? "https://" : "http://") + source.host + ":" +
                            std::to_string(source.port) + source.url;
  const std::size_t configured = static_cast<std::size_t>(
      std::count_if(proposals.begin(), proposals.end(), [](const ProposedCounter& p) { return p.configured_section; }));
  std::fprintf(stderr, "sarvik-host: %zu counters on %s: %zu in the configuration, %zu new; %s\n", proposals.size(),
               where.c_str(), configured, proposals.size() - configured,
               read.copies.size() > 1 ? "KeepPrevValue guessed from the names and a second copy"
                                      : "KeepPrevValue guessed from the names (no second copy came within 3 s)");
  if (planned.first_section > configuration.counters && planned.count > 0) {
    std::fprintf(stderr,
                 "sarvik-host: note: the configuration has sections up to [%d] beyond Counters=%d; the new ones "
                 "start at [%d], and the sections between count as counters once Counters is raised\n",
                 configuration.highest_section, configuration.counters, planned.first_section);
  }
  if (command_line.write_path.empty()) return kExitSuccess;

  const std::vector<std::string> comment = {
      "Counters found by sarvik-host discover on " + where + ", " + UtcNow() + ".",
      "To add them to " + configuration_path + ":",
      "set Counters in its [Netscape] section to the value below, and append the numbered sections.",
      "(Of two [Netscape] sections only the first counts: appending this one changes nothing.)"};
  const NewSections written = WriteNewSections(proposals, configuration, comment);
  std::ofstream file(command_line.write_path, std::ios::binary | std::ios::trunc);
  file << written.text;
  file.close();
  if (!file) {
    PrintError("cannot write " + command_line.write_path);
    return kExitFailure;
  }
  if (written.count == 0) {
    std::fprintf(stderr, "sarvik-host: the configuration has every counter found; %s holds no new section\n",
                 command_line.write_path.c_str());
  } else {
    std::fprintf(stderr, "sarvik-host: wrote %d new sections [%d] to [%d] and Counters=%d to %s\n", written.count,
                 written.first_section, written.first_section + written.count - 1, written.counters_total,
                 command_line.write_path.c_str());
  }
  return kExitSuccess;
}

}  // namespace sarvik_host
