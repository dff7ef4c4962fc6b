// The pages of the server's numbered statistics sources (--sources N): /s/K/.perf for K = 1..N.
//
// Each source streams the real page layout, but its figures follow a fixed formula of the source number K and
// of the copy number n (0 for the first copy a response sends, one more for every copy after it), so that a
// reader watching many sources at once can check every value it was handed:
//   a gauge with weight w shows  w*K + n
//   a total with weight w shows  w*K*n   (grows by w*K per copy)
// The weights are kSourceGauges and kSourceTotals below; the --help text lists them too. Load traffic does not
// move these pages.
// Thread safety: none needed; pure functions of their arguments.
#ifndef SARVIK_TOOLS_STATSERVER_SOURCE_PAGE_H_
#define SARVIK_TOOLS_STATSERVER_SOURCE_PAGE_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "tools/statserver/page.h"
#include "tools/statserver/server_stats.h"

namespace statserver {

// A figure of a source page: the label a pattern counter searches for, and its weight in the formula.
struct SourceFigure {
  std::string_view label;
  std::uint64_t weight;
};

// Gauges (w*K + n), in page order. The label's first number is the figure.
inline constexpr SourceFigure kSourceGauges[] = {
    {"Current/Peak/Limit Queue Length", 1}, {"Acceptor Threads", 2},  {"KeepAliveCount", 3},
    {"Active Sessions", 4},                 {"Keep-Alive Sessions", 5}, {"File Cache Entries", 6},
    {"Maximum Age", 7},                     {"Idle/Peak/Limit", 8},    {"Work Queue Length/Peak/Limit", 9},
    {"CacheEntries", 10},
};

// Totals (w*K*n), in page order.
inline constexpr SourceFigure kSourceTotals[] = {
    {"Total Connections Queued", 1}, {"KeepAliveHits", 2},           {"KeepAliveFlushes", 3},
    {"KeepAliveRefusals", 4},        {"KeepAliveTimeouts", 5},       {"Total Sessions Created", 6},
    {"File Cache Hit Ratio", 7},     {"HitRatio", 8},                {"Total number of requests:", 9},
    {"Number of Requests:", 10},     {"Number of Invocations:", 11},
};

// Weights of the totals in the virtual-server table: Requests and Bytes Sent of its two rows.
inline constexpr std::uint64_t kSourceTableRequestsWeight[] = {12, 14};
inline constexpr std::uint64_t kSourceTableBytesWeight[] = {13, 15};

// K when `path` is "/s/K/.perf" with 1 <= K <= sources (decimal, no leading zero); nullopt otherwise.
[[nodiscard]] std::optional<int> SourceOfPath(std::string_view path, int sources);

// The figures of copy `copy` of source `source`, with the heading lines of `identity`.
[[nodiscard]] PageData SourcePageData(int source, std::uint64_t copy, const ServerIdentity& identity);

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_SOURCE_PAGE_H_
