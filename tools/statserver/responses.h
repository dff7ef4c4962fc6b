// The bytes the statistics server answers with, built without sockets: response heads, the pieces in which
// one copy of a pushed statistics stream is written (with the pauses between them that make a client see
// arbitrary read boundaries), and the bodies of the fault URLs and of the load pages.
// Pure functions; nothing is kept between calls.
#ifndef SARVIK_TOOLS_STATSERVER_RESPONSES_H_
#define SARVIK_TOOLS_STATSERVER_RESPONSES_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/statserver/http_request.h"

namespace statserver {

inline constexpr char kServerName[] = "sarvik-statserver";

// Pause between the two halves of a split delimiter, and where it is split.
inline constexpr int kSplitDelimiterPauseMs = 50;
inline constexpr std::size_t kSplitDelimiterAt = 12;  // "THIS_STRING_" | "NEVER_HAPPENS"
// Default pause between the pieces of a chunked stream.
inline constexpr int kDefaultChunkPauseMs = 2;
// Default size of the oversized fault's body, and its bounds.
inline constexpr std::size_t kDefaultOversizedBytes = 24 * 1024;
inline constexpr std::size_t kMaxOversizedBytes = 4 * 1024 * 1024;

// A status line and headers, ending with the blank line. Adds Server, Content-Type (unless empty),
// Content-Length (when given), Connection (keep-alive or close) and `extra_headers` (each ending in "\r\n").
[[nodiscard]] std::string ResponseHead(int status, std::string_view reason, std::string_view content_type,
                                       std::optional<std::uint64_t> content_length, bool keep_alive,
                                       std::string_view extra_headers = {});

// How the copies of a stream are laid out.
enum class StreamStyle {
  kPlain,           // delimiter, '\n', page
  kSplitDelimiter,  // as kPlain, the delimiter written in two pieces with a pause between them
  kBackToBack,      // two delimiters with nothing between them, '\n', page
  kBinaryAtEnd,     // as kPlain, with a block of all 256 byte values (NULs included) after the page text
  kBinaryAtStart    // the binary block right after the delimiter's '\n', before the page text
};

// One write of a stream and the pause that follows it.
struct StreamPiece {
  std::string bytes;
  int pause_after_ms = 0;
};

// The per-response settings of a stream, from the query of its URL.
struct StreamSettings {
  StreamStyle style = StreamStyle::kPlain;
  int interval_ms = 1000;
  std::optional<long long> count;  // end after this many copies; nullopt: until the client or server stops
  std::size_t chunk = 0;           // write pieces of at most this many bytes; 0: a copy in one write
  int chunk_pause_ms = kDefaultChunkPauseMs;
  bool trailer = false;  // after the last copy, one more delimiter, so that every copy is followed by one
  // After this many copies the stream holds still for `stall_ms` more before the next copy (a server
  // that stops pushing while the connection stays open); nullopt: no stall.
  std::optional<long long> stall_after;
  int stall_ms = 0;
};

// Reads count, interval, chunk, pause, trailer, stall_after, stall (and for the binary fault, at=start|end) from the query.
// Returns 0, or 400 with *error set when a value is out of range.
[[nodiscard]] int ReadStreamSettings(const QueryParams& params, int default_interval_ms, StreamStyle style,
                                     StreamSettings* settings, std::string* error);

// The pieces of one copy of `page` in the given style, cut to `chunk` bytes when chunk > 0.
[[nodiscard]] std::vector<StreamPiece> PlanCopy(const StreamSettings& settings, std::string_view page);

// All 256 byte values in order, then '\n'. Holds NULs but no delimiter.
[[nodiscard]] std::string BinaryBlock();

// All 256 byte values in order, four times, then the delimiter: a body whose every byte a reader must keep.
[[nodiscard]] std::string EveryByteBody();

// `size` bytes made of repeated page text, without any delimiter.
[[nodiscard]] std::string OversizedBody(std::string_view page, std::size_t size);

// A delimiter, '\n' and the first half of the page.
[[nodiscard]] std::string DropMidPageBody(std::string_view page);

// The small HTML page served for load URLs.
[[nodiscard]] std::string LoadPageBody(std::string_view virtual_server, std::string_view path);

// A short plain-text body for an answer with an error status.
[[nodiscard]] std::string ErrorBody(int status, std::string_view reason, std::string_view detail);

// A reason phrase made safe for a status line: control characters become spaces, cut to 4000 characters.
[[nodiscard]] std::string SafeReasonPhrase(std::string_view text);

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_RESPONSES_H_
