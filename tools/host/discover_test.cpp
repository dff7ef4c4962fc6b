#include "tools/host/discover.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tools/host/discover_fetch.h"

namespace sarvik_host {
namespace {

// A copy of a statistics page as the plug-in keeps it: the delimiter, then the page.
const char kCopy[] =
    "THIS_STRING_NEVER_HAPPENS\n"
    "webservd pid: 4242\n"
    "\n"
    "Sun Java System Web Server 7.0 B07/13/2006 17:09 (SunOS DOMESTIC)\n"
    "\n"
    "Server started Mon Jun  2 09:12:05 2025\n"
    "Process 4242 started Mon Jun  2 09:12:06 2025\n"
    "\n"
    "ConnectionQueue:\n"
    "-----------------------------------------\n"
    "Current/Peak/Limit Queue Length            2/37/4096\n"
    "Total Connections Queued                   114762\n"
    "Average Queue Length (1, 5, 15 minutes)    0.42, 0.35, 0.28\n"
    "Average Queueing Delay                     0.31 milliseconds\n"
    "\n"
    "ListenSocket ls1:\n"
    "------------------------\n"
    "Address                   http://0.0.0.0:80\n"
    "Acceptor Threads          1\n"
    "\n"
    "KeepAliveInfo:\n"
    "--------------------\n"
    "KeepAliveCount        23/256\n"
    "KeepAliveTimeouts     2980\n"
    "KeepAliveTimeout      30 seconds\n"
    "\n"
    "Performance Counters:\n"
    "------------------------------------------------\n"
    "                           Average         Total      Percent\n"
    "\n"
    "Total number of requests:                 114762\n"
    "Request processing time:    0.0125     1437.2210\n"
    "\n"
    "Sessions:\n"
    "----------------------------\n"
    "Process  Status     Client          Age  VS              Method URI\n"
    "4242     response   192.0.2.17      0    https-demo      GET    /index.html\n"
    "\n"
    "<h2>Virtual Server Statistics</h2>\n"
    "<table border=\"1\">\n"
    "<tr><th>Virtual Server</th><th>Requests</th><th>Bytes Sent</th><th>Errors</th></tr>\n"
    "<tr><td>https-demo</td><td align=\"right\">114530</td><td><b>1873240112</b></td><td>211</td></tr>\n"
    "<tr><td>https-admin</td><td align=\"right\">232</td><td><b>1893402</b></td><td>0</td></tr>\n"
    "</table>\n"
    "<h3>Pools</h3>\n"
    "<TABLE>\n"
    "<TR><TH>Pool</TH><TH>Idle</TH><TH>Address</TH></TR>\n"
    "<TR class=\"odd\"><TD>p1</TD><TD>7</TD><TD>192.0.2.1</TD></TR>\n"
    "<TR><TD>p2</TD><TD><font><b>9</b></font></TD><TD>-</TD></TR>\n"
    "<TR><TD>p3</TD><TD>  12 threads</TD><TD>x</TD></TR>\n"
    "</TABLE>\n";

std::map<std::string, ProposedCounter> ByCounter(const std::vector<ProposedCounter>& proposals) {
  std::map<std::string, ProposedCounter> counters;
  for (const ProposedCounter& proposal : proposals) counters.emplace(proposal.counter, proposal);
  return counters;
}

std::string SourceFile(const std::string& relative) {
  const std::string here = __FILE__;
  const std::string root = here.substr(0, here.rfind("/tools/host/"));
  std::ifstream file(root + "/" + relative, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

TEST(DiscoverTest, EveryLabelFollowedByANumberIsAPatternCounter) {
  const std::vector<ProposedCounter> proposals = ProposeCounters(kCopy);
  std::vector<std::string> patterns;
  for (const ProposedCounter& proposal : proposals) {
    if (proposal.kind == ProposedCounter::Kind::kPattern) patterns.push_back(proposal.counter);
  }
  const std::vector<std::string> expected = {"webservd pid:",
                                             "Current/Peak/Limit Queue Length",
                                             "Total Connections Queued",
                                             "Average Queue Length (1, 5, 15 minutes)",
                                             "Average Queueing Delay",
                                             "Acceptor Threads",
                                             "KeepAliveCount",
                                             "KeepAliveTimeouts",
                                             // "KeepAliveTimeout" first matches the line above: a blank more finds its own line.
                                             "KeepAliveTimeout ",
                                             "Total number of requests:",
                                             "Request processing time:"};
  EXPECT_EQ(expected, patterns) << "dates, the version line, addresses and table rows of text are no counters";

  const auto counters = ByCounter(proposals);
  EXPECT_EQ(2, counters.at("Current/Peak/Limit Queue Length").value);
  EXPECT_EQ(0.42, counters.at("Average Queue Length (1, 5, 15 minutes)").value) << "digits inside a label are its own";
  EXPECT_EQ(30, counters.at("KeepAliveTimeout ").value);
  EXPECT_EQ(0.0125, counters.at("Request processing time:").value);
  EXPECT_EQ("Keep Alive Count", counters.at("KeepAliveCount").label);
  EXPECT_EQ("Total number of requests per Second", counters.at("Total number of requests:").label);
}

TEST(DiscoverTest, EveryProposalReadsBackAsThePlugInReadsIt) {
  const std::vector<ProposedCounter> proposals = ProposeCounters(kCopy);
  ASSERT_FALSE(proposals.empty());
  for (const ProposedCounter& proposal : proposals) {
    const std::optional<ReadPlace> place =
        proposal.kind == ProposedCounter::Kind::kPattern
            ? ReadPatternAsPlugIn(kCopy, proposal.counter)
            : ReadTableCellAsPlugIn(kCopy, proposal.table_name, proposal.row, proposal.column);
    ASSERT_TRUE(place) << proposal.counter;
    EXPECT_EQ(proposal.value, place->value) << proposal.counter;
    EXPECT_EQ(proposal.offset, place->offset) << proposal.counter;
  }
}

TEST(DiscoverTest, NumericCellsOfEveryTableAreTableCellCounters) {
  std::vector<ProposedCounter> cells;
  for (const ProposedCounter& proposal : ProposeCounters(kCopy)) {
    if (proposal.kind == ProposedCounter::Kind::kTableCell) cells.push_back(proposal);
  }
  ASSERT_EQ(8u, cells.size());
  // The first table, as the shipped configuration addresses it: the header row is row 1, the
  // name cell column 1.
  EXPECT_EQ("Virtual Server Statistics", cells[0].table_name);
  EXPECT_EQ(2, cells[0].row);
  EXPECT_EQ(2, cells[0].column);
  EXPECT_EQ(114530, cells[0].value);
  EXPECT_EQ("https-demo Requests per Second", cells[0].label);
  EXPECT_EQ("Virtual Server Statistics https-demo Requests", cells[0].counter);
  EXPECT_EQ(3, cells[1].column);
  EXPECT_EQ(1873240112, cells[1].value) << "one tag inside the cell is passed over";
  EXPECT_EQ(4, cells[2].column);
  EXPECT_EQ(211, cells[2].value);
  EXPECT_EQ(3, cells[3].row);
  EXPECT_EQ(2, cells[3].column);
  EXPECT_EQ(232, cells[3].value);
  EXPECT_EQ("https-admin Errors per Second", cells[5].label);
  EXPECT_EQ(0, cells[5].value);

  // The second table: upper-case tags; a row tag with an attribute is no row to the plug-in, so
  // its cells are reached from the row before; a number inside two tags cannot be read; an
  // address is no number.
  EXPECT_EQ("Pools", cells[6].table_name);
  EXPECT_EQ(1, cells[6].row);
  EXPECT_EQ(2, cells[6].column);
  EXPECT_EQ(7, cells[6].value);
  EXPECT_EQ("p1 Idle", cells[6].label);
  EXPECT_EQ(3, cells[7].row);
  EXPECT_EQ(2, cells[7].column);
  EXPECT_EQ(12, cells[7].value);
  EXPECT_EQ("p3 Idle", cells[7].label);
}

TEST(DiscoverTest, KeepPreviousIsGuessedFromTheNameAndASecondCopy) {
  std::string reason;
  EXPECT_TRUE(GuessKeepPrevious("Total Connections Queued", 10, std::nullopt, &reason));
  EXPECT_EQ("name says total", reason);
  EXPECT_TRUE(GuessKeepPrevious("KeepAliveHits", 10, std::nullopt));
  EXPECT_TRUE(GuessKeepPrevious("https-demo Bytes Sent", 10, 12));
  EXPECT_FALSE(GuessKeepPrevious("Total Response Time:", 10, std::nullopt)) << "a time, though it says total";
  EXPECT_FALSE(GuessKeepPrevious("Current/Peak/Limit Queue Length", 10, std::nullopt));
  EXPECT_FALSE(GuessKeepPrevious("Keep-Alive Sessions", 10, std::nullopt));
  EXPECT_FALSE(GuessKeepPrevious("Number of Requests:", 10, 9, &reason)) << "a total never falls";
  EXPECT_EQ("fell between two copies", reason);
  EXPECT_FALSE(GuessKeepPrevious("KeepAliveCount", 10, std::nullopt));
  EXPECT_FALSE(GuessKeepPrevious("KeepAliveCount", 10, 10));
  EXPECT_TRUE(GuessKeepPrevious("KeepAliveCount", 10, 14)) << "a count seen growing";

  // With a second copy in which a total fell, the guess follows the copies.
  std::string later = kCopy;
  later.replace(later.find("114762"), 6, "000001");
  const auto counters = ByCounter(ProposeCounters(kCopy, std::string_view(later)));
  EXPECT_FALSE(counters.at("Total Connections Queued").keep_previous);
  EXPECT_TRUE(counters.at("Total number of requests:").keep_previous);
}

TEST(DiscoverTest, TheGuessesAgreeWithTheShippedConfigurationOnTheSamplePage) {
  const std::string copy = "THIS_STRING_NEVER_HAPPENS\n" + SourceFile("dat/samples/perfdump.txt");
  const CounterConfiguration configuration = ReadCounterConfiguration(SourceFile("dat/monitors/Netscape.cfg"));
  ASSERT_EQ(29, configuration.counters);
  std::vector<ProposedCounter> proposals = ProposeCounters(copy);
  MarkConfigured(configuration, copy, &proposals);
  int configured = 0;
  for (const ProposedCounter& proposal : proposals) {
    if (!proposal.configured_section) continue;
    ++configured;
    const ConfiguredCounter& section = configuration.sections[*proposal.configured_section];
    EXPECT_EQ(section.keep_previous != 0, proposal.keep_previous) << section.counter << ": " << proposal.keep_reason;
    if (section.table_name.empty()) EXPECT_EQ(section.counter, proposal.counter);
    else EXPECT_EQ(std::make_pair(section.row, section.column), std::make_pair(proposal.row, proposal.column));
  }
  EXPECT_EQ(29, configured) << "every counter of the shipped configuration is found on the sample page";
}

TEST(DiscoverTest, NewSectionsAreNumberedAfterTheLastAndReadBackAsTheyWereProposed) {
  // Counters=2, but a section [3] stands in the file: the new ones come after it.
  const std::string configuration_text =
      "[Netscape]\r\nCounters=2\r\n\r\n[0]\r\nCounter=KeepAliveCount\r\nLabel=Keep-Alive\r\n\r\n"
      "[1]\r\nCounter=vs\r\nTblName=Virtual Server Statistics\r\nTblRow=2\r\nTblColumn=2\r\n\r\n"
      "[3]\r\nCounter=old\r\n";
  const CounterConfiguration configuration = ReadCounterConfiguration(configuration_text);
  EXPECT_EQ(2, configuration.counters);
  EXPECT_EQ(3, configuration.highest_section);
  EXPECT_EQ("\r\n", configuration.line_end);

  std::vector<ProposedCounter> proposals = ProposeCounters(kCopy);
  const std::size_t found = proposals.size();
  MarkConfigured(configuration, kCopy, &proposals);
  ASSERT_EQ(found, proposals.size());
  const auto counters = ByCounter(proposals);
  EXPECT_EQ(0, counters.at("KeepAliveCount").configured_section.value_or(-1));
  EXPECT_EQ(1, counters.at("Virtual Server Statistics https-demo Requests").configured_section.value_or(-1));

  const NewSections written = WriteNewSections(proposals, configuration, {"found on a test page"});
  EXPECT_EQ(4, written.first_section);
  EXPECT_EQ(static_cast<int>(found) - 2, written.count);
  EXPECT_EQ(4 + written.count, written.counters_total);
  EXPECT_EQ(0u, written.text.find("; found on a test page\r\n[Netscape]\r\nCounters=" +
                                  std::to_string(written.counters_total) + "\r\n"));
  EXPECT_EQ(std::string::npos, written.text.find("\n\n")) << "every line ends with CR LF";
  EXPECT_NE(std::string::npos, written.text.find("Counter=\"KeepAliveTimeout \"\r\n")) << "the blank is kept";

  // The configuration with the new sections added reads every proposal back.
  std::string merged = configuration_text;
  merged.replace(merged.find("Counters=2"), 10, "Counters=" + std::to_string(written.counters_total));
  merged += written.text.substr(written.text.find("\r\n[4]"));
  const CounterConfiguration added = ReadCounterConfiguration(merged);
  ASSERT_EQ(written.counters_total, added.counters);
  int next = 4;
  for (const ProposedCounter& proposal : proposals) {
    if (proposal.configured_section) continue;
    const ConfiguredCounter& section = added.sections[next++];
    EXPECT_EQ(proposal.counter, section.counter);
    EXPECT_EQ(proposal.keep_previous ? 1 : 0, section.keep_previous);
    const std::optional<ReadPlace> place =
        section.table_name.empty() ? ReadPatternAsPlugIn(kCopy, section.counter)
                                   : ReadTableCellAsPlugIn(kCopy, section.table_name, section.row, section.column);
    ASSERT_TRUE(place) << section.counter;
    EXPECT_EQ(proposal.value, place->value) << section.counter;
  }
}

TEST(DiscoverTest, AProposalWhoseTextASectionUsesElsewhereIsRenamedOrLeftOut) {
  CounterConfiguration configuration;
  configuration.counters = 2;
  configuration.highest_section = 1;
  configuration.sections = {{0, "Virtual Server Statistics https-demo Requests", "", 0, "Other table", 1, 1},
                            {1, "Acceptor Threads", "", 0, "Other table", 1, 1}};
  std::vector<ProposedCounter> proposals = ProposeCounters(kCopy);
  MarkConfigured(configuration, kCopy, &proposals);
  const auto counters = ByCounter(proposals);
  EXPECT_EQ(0u, counters.count("Acceptor Threads")) << "the plug-in would find section 1 by this text";
  EXPECT_EQ(1u, counters.count("Virtual Server Statistics https-demo Requests (2)"));
}

TEST(DiscoverTest, ValuesThatNeedQuotesAreQuoted) {
  EXPECT_EQ("Latency:", ProfileValue("Latency:"));
  EXPECT_EQ("\"KeepAliveTimeout \"", ProfileValue("KeepAliveTimeout "));
  EXPECT_EQ("\"\"quoted\"\"", ProfileValue("\"quoted\""));
  const CounterConfiguration read = ReadCounterConfiguration("[Netscape]\nCounters=1\n[0]\nCounter=" +
                                                             ProfileValue("\"quoted\"") + "\n");
  EXPECT_EQ("\"quoted\"", read.sections.at(0).counter);
}

TEST(DiscoverTest, TheStreamIsCutAsThePlugInCutsIt) {
  const std::vector<std::string> copies =
      CutCopies("before THIS_STRING_NEVER_HAPPENS\none THIS_STRING_NEVER_HAPPENS\ntwo THIS_STRING_NEVER_HAPPENS\nthr");
  // One read that holds several copies gives the latest complete one; text before the first
  // delimiter and after the last is no copy.
  ASSERT_EQ(1u, copies.size());
  EXPECT_EQ("THIS_STRING_NEVER_HAPPENS\ntwo ", copies[0]);
  EXPECT_TRUE(CutCopies(std::string(20000, 'x') + "THIS_STRING_NEVER_HAPPENS\na").empty());
}

TEST(DiscoverTest, TheCopyIsReadOnlyAsFarAsThePlugInKeepsIt) {
  std::string copy = "THIS_STRING_NEVER_HAPPENS\n" + std::string(9000, 'x') + "\nLate Counter  5\n";
  EXPECT_FALSE(ReadPatternAsPlugIn(copy, "Late Counter"));
  EXPECT_TRUE(ProposeCounters(copy).empty());
}

}  // namespace
}  // namespace sarvik_host
