#include "tools/statserver/http_request.h"

#include <charconv>

namespace statserver {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
      return true;
    default:
      return false;
  }
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Number of bytes of empty lines at the start of `buffer`.
std::size_t LeadingEmptyLines(std::string_view buffer) {
  std::size_t at = 0;
  while (true) {
    if (buffer.substr(at, 2) == "\r\n") {
      at += 2;
    } else if (buffer.substr(at, 1) == "\n") {
      at += 1;
    } else {
      return at;
    }
  }
}

struct FaultName {
  std::string_view name;
  Route route;
};
constexpr FaultName kFaults[] = {
    {"401", Route::kFault401},
    {"404", Route::kFault404},
    {"407", Route::kFault407},
    {"500", Route::kFault500},
    {"silent", Route::kFaultSilent},
    {"silent-after-headers", Route::kFaultSilentAfterHeaders},
    {"drop-mid-page", Route::kFaultDropMidPage},
    {"oversized", Route::kFaultOversized},
    {"split-delimiter", Route::kFaultSplitDelimiter},
    {"back-to-back", Route::kFaultBackToBack},
    {"reason", Route::kFaultReason},
    {"binary", Route::kFaultBinary},
    {"status-line", Route::kFaultStatusLine},
    {"hang-up", Route::kFaultHangUp},
    {"every-byte", Route::kFaultEveryByte},
};

}  // namespace

HeadScan ScanRequestHead(std::string_view buffer, std::size_t* head_length) {
  const std::size_t start = LeadingEmptyLines(buffer);
  for (std::size_t i = buffer.find('\n', start); i != std::string_view::npos; i = buffer.find('\n', i + 1)) {
    std::size_t end = 0;
    if (i + 1 < buffer.size() && buffer[i + 1] == '\n') {
      end = i + 2;
    } else if (i + 2 < buffer.size() && buffer[i + 1] == '\r' && buffer[i + 2] == '\n') {
      end = i + 3;
    } else {
      continue;
    }
    if (end > kMaxRequestHead) return HeadScan::kTooLarge;
    *head_length = end;
    return HeadScan::kComplete;
  }
  return buffer.size() >= kMaxRequestHead ? HeadScan::kTooLarge : HeadScan::kIncomplete;
}

std::optional<std::string_view> HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name)) return std::string_view(value);
  }
  return std::nullopt;
}

int ParseRequestHead(std::string_view head, HttpRequest* request) {
  head.remove_prefix(LeadingEmptyLines(head));
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    const std::size_t newline = head.find('\n');
    std::string_view line = head.substr(0, newline);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    lines.push_back(line);
    if (newline == std::string_view::npos) break;
    head.remove_prefix(newline + 1);
  }
  if (lines.empty()) return 400;

  // Request line: method SP target SP version.
  const std::string_view request_line = lines.front();
  const std::size_t first_space = request_line.find(' ');
  const std::size_t last_space = request_line.rfind(' ');
  if (first_space == std::string_view::npos || first_space == last_space) return 400;
  const std::string_view method = request_line.substr(0, first_space);
  std::string_view target = Trim(request_line.substr(first_space + 1, last_space - first_space - 1));
  const std::string_view version = request_line.substr(last_space + 1);
  if (!IsToken(method) || target.empty() || target.find(' ') != std::string_view::npos) return 400;
  if (version.substr(0, 5) != "HTTP/") return 400;
  if (version.size() != 8 || version[5] != '1' || version[6] != '.' || version[7] < '0' || version[7] > '9') {
    return 505;
  }
  request->method = std::string(method);
  request->target = std::string(target);
  request->version_minor = version[7] - '0';

  // Absolute form (as sent to a proxy): keep the path and query only.
  if (target.substr(0, 7) == "http://" || target.substr(0, 8) == "https://") {
    const std::size_t authority = target.find("//") + 2;
    const std::size_t path_start = target.find_first_of("/?", authority);
    target = path_start == std::string_view::npos ? std::string_view("/") : target.substr(path_start);
  }
  if (target.front() != '/' && target.front() != '?') return 400;
  const std::size_t question = target.find('?');
  request->path = PercentDecode(target.substr(0, question), false);
  if (request->path.empty()) request->path = "/";
  request->query.clear();
  if (question != std::string_view::npos) request->query.assign(target.substr(question + 1));

  bool saw_length = false;
  bool connection_close = false;
  bool connection_keep_alive = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.front() == ' ' || line.front() == '\t') return 400;  // obsolete line folding
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return 400;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = Trim(line.substr(colon + 1));
    request->headers.emplace_back(std::string(name), std::string(value));

    if (EqualsIgnoreCase(name, "Content-Length")) {
      const auto length = ParseBoundedInt(value, 0, 1LL << 62);
      if (!length) return 400;
      if (saw_length && request->content_length != static_cast<std::uint64_t>(*length)) return 400;
      saw_length = true;
      request->content_length = static_cast<std::uint64_t>(*length);
    } else if (EqualsIgnoreCase(name, "Transfer-Encoding")) {
      request->chunked_body = true;
    } else if (EqualsIgnoreCase(name, "Connection")) {
      std::string_view rest = value;
      while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view option = Trim(rest.substr(0, comma));
        if (EqualsIgnoreCase(option, "close")) connection_close = true;
        if (EqualsIgnoreCase(option, "keep-alive")) connection_keep_alive = true;
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
    }
  }
  request->keep_alive = request->version_minor >= 1 ? !connection_close : (connection_keep_alive && !connection_close);
  if (request->content_length > kMaxRequestBody) return 413;
  return 0;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (c == '+' && plus_is_space) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

QueryParams ParseQuery(std::string_view query) {
  QueryParams params;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    if (!pair.empty()) {
      const std::size_t equals = pair.find('=');
      if (equals == std::string_view::npos) {
        params.emplace_back(PercentDecode(pair, true), std::string());
      } else {
        params.emplace_back(PercentDecode(pair.substr(0, equals), true), PercentDecode(pair.substr(equals + 1), true));
      }
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return params;
}

std::optional<std::string> FindParam(const QueryParams& params, std::string_view key) {
  for (const auto& [name, value] : params) {
    if (name == key) return value;
  }
  return std::nullopt;
}

std::optional<long long> ParseBoundedInt(std::string_view text, long long min, long long max) {
  if (text.empty() || text.front() == '+') return std::nullopt;
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < min || value > max) return std::nullopt;
  return value;
}

bool DecodeBase64(std::string_view text, std::string* out) {
  out->clear();
  std::uint32_t bits = 0;
  int bit_count = 0;
  std::size_t padding = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '=') {
      ++padding;
      continue;
    } else {
      return false;
    }
    if (padding > 0) return false;  // data after padding
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      out->push_back(static_cast<char>((bits >> bit_count) & 0xff));
    }
  }
  return padding <= 2;
}

bool BasicAuthMatches(std::optional<std::string_view> authorization, std::string_view user_colon_password) {
  if (!authorization) return false;
  std::string_view value = Trim(*authorization);
  const std::size_t space = value.find(' ');
  if (space == std::string_view::npos || !EqualsIgnoreCase(value.substr(0, space), "Basic")) return false;
  std::string decoded;
  if (!DecodeBase64(Trim(value.substr(space + 1)), &decoded)) return false;
  return decoded == user_colon_password;
}

Route RouteRequest(std::string_view path, const QueryParams& params) {
  if (path == "/perf-once") return Route::kStatisticsOnce;
  constexpr std::string_view kPerf = "/.perf";
  if (path.size() >= kPerf.size() && path.substr(path.size() - kPerf.size()) == kPerf) {
    return FindParam(params, "once") ? Route::kStatisticsOnce : Route::kStatisticsStream;
  }
  constexpr std::string_view kFault = "/fault/";
  if (path == "/fault" || path.substr(0, kFault.size()) == kFault) {
    const std::string_view name = path.size() > kFault.size() ? path.substr(kFault.size()) : std::string_view();
    for (const FaultName& fault : kFaults) {
      if (fault.name == name) return fault.route;
    }
    return Route::kFaultUnknown;
  }
  return Route::kLoad;
}

bool IsStatisticsRoute(Route route) {
  return route == Route::kStatisticsStream || route == Route::kStatisticsOnce;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

}  // namespace statserver
