// HTTP/1.x request heads as the statistics server reads them, and the routing of a request to what it serves.
//
// Everything here is a pure function over text: no sockets, no clock, nothing kept between calls. Failures are
// returned as values (a status to answer with), never thrown.
#ifndef SARVIK_TOOLS_STATSERVER_HTTP_REQUEST_H_
#define SARVIK_TOOLS_STATSERVER_HTTP_REQUEST_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace statserver {

// The longest request head (request line and headers) accepted; a longer one is answered with 431.
inline constexpr std::size_t kMaxRequestHead = 16 * 1024;
// The longest request body accepted (and discarded); a longer one is answered with 413.
inline constexpr std::uint64_t kMaxRequestBody = 1024 * 1024;

enum class HeadScan {
  kIncomplete,  // no end of head yet and still within kMaxRequestHead: read more
  kComplete,    // *head_length is the length of the head, its blank line included
  kTooLarge     // no end of head within kMaxRequestHead
};

// Looks for the end of a request head ("\r\n\r\n", or "\n\n" from lenient clients) at the start of `buffer`.
// Empty lines before the request line (allowed between pipelined requests) are part of the head.
[[nodiscard]] HeadScan ScanRequestHead(std::string_view buffer, std::size_t* head_length);

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query
  std::string path;    // target before '?', percent-decoded
  std::string query;   // target after '?', raw
  int version_minor = 1;  // HTTP/1.<minor>
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names as sent
  std::uint64_t content_length = 0;
  bool chunked_body = false;  // Transfer-Encoding present: not supported, answered with 501
  bool keep_alive = true;     // what the client asks for: HTTP/1.1 unless "close", HTTP/1.0 only with "keep-alive"

  // The value of the first header of that name (names compared without regard to case), or nullopt.
  [[nodiscard]] std::optional<std::string_view> Header(std::string_view name) const;
};

// Parses a complete head as ScanRequestHead delimited it. On failure returns the status to answer with
// (400 malformed, 505 not HTTP/1.x, 413 body too long) and leaves *request partly filled; on success returns 0.
[[nodiscard]] int ParseRequestHead(std::string_view head, HttpRequest* request);

// Query parameters in order; a key without '=' has an empty value. Keys and values are percent-decoded,
// '+' standing for a space.
using QueryParams = std::vector<std::pair<std::string, std::string>>;
[[nodiscard]] QueryParams ParseQuery(std::string_view query);
[[nodiscard]] std::optional<std::string> FindParam(const QueryParams& params, std::string_view key);

// Percent-decoding; an invalid escape stays as written.
[[nodiscard]] std::string PercentDecode(std::string_view text, bool plus_is_space);

// Decimal integer in [min, max], the whole text; nullopt otherwise.
[[nodiscard]] std::optional<long long> ParseBoundedInt(std::string_view text, long long min, long long max);

// Standard base64 (with or without padding); false on any other character.
[[nodiscard]] bool DecodeBase64(std::string_view text, std::string* out);

// Whether an Authorization header value carries HTTP Basic credentials equal to `user_colon_password`.
[[nodiscard]] bool BasicAuthMatches(std::optional<std::string_view> authorization,
                                    std::string_view user_colon_password);

// What a request asks for.
enum class Route {
  kStatisticsStream,        // GET /.perf or any path ending in /.perf
  kStatisticsOnce,          // /.perf?once or /perf-once
  kFault401,
  kFault404,
  kFault407,
  kFault500,
  kFaultSilent,
  kFaultSilentAfterHeaders,
  kFaultDropMidPage,
  kFaultOversized,
  kFaultSplitDelimiter,
  kFaultBackToBack,
  kFaultReason,
  kFaultBinary,
  kFaultStatusLine,  // a status line exactly as given (line=TEXT), optionally after a 100 Continue
  kFaultHangUp,      // read the request, then close without answering
  kFaultEveryByte,   // a body of every byte value, close-delimited, chunked or cut short
  kFaultUnknown,  // a /fault/ path that names no fault: 404
  kLoad           // everything else: a small page, counted in the statistics
};

[[nodiscard]] Route RouteRequest(std::string_view path, const QueryParams& params);

// Statistics routes require the server's Basic credentials when it has any.
[[nodiscard]] bool IsStatisticsRoute(Route route);

// The standard reason phrase of a status the server answers with ("Unknown" for others).
[[nodiscard]] const char* ReasonPhrase(int status);

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_HTTP_REQUEST_H_
