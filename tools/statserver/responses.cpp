#include "tools/statserver/responses.h"

#include <algorithm>

#include "tools/statserver/page.h"

namespace statserver {
namespace {

void AppendChunked(std::vector<StreamPiece>& pieces, std::string_view bytes, int pause_after_ms,
                   const StreamSettings& settings) {
  if (bytes.empty()) return;
  if (settings.chunk == 0) {
    pieces.push_back(StreamPiece{std::string(bytes), pause_after_ms});
    return;
  }
  for (std::size_t at = 0; at < bytes.size(); at += settings.chunk) {
    const bool last = at + settings.chunk >= bytes.size();
    pieces.push_back(StreamPiece{std::string(bytes.substr(at, settings.chunk)),
                                 last ? pause_after_ms : settings.chunk_pause_ms});
  }
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace

std::string ResponseHead(int status, std::string_view reason, std::string_view content_type,
                         std::optional<std::uint64_t> content_length, bool keep_alive,
                         std::string_view extra_headers) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  head += "Server: ";
  head += kServerName;
  head += "\r\n";
  if (!content_type.empty()) {
    head += "Content-Type: ";
    head += content_type;
    head += "\r\n";
  }
  if (content_length) head += "Content-Length: " + std::to_string(*content_length) + "\r\n";
  head += keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  head += extra_headers;
  head += "\r\n";
  return head;
}

int ReadStreamSettings(const QueryParams& params, int default_interval_ms, StreamStyle style,
                       StreamSettings* settings, std::string* error) {
  *settings = StreamSettings{};
  settings->style = style;
  settings->interval_ms = default_interval_ms;
  if (const auto text = FindParam(params, "count")) {
    const auto count = ParseBoundedInt(*text, 1, 1000000000);
    if (!count) {
      *error = "count must be a whole number from 1";
      return 400;
    }
    settings->count = *count;
  }
  if (const auto text = FindParam(params, "interval")) {
    const auto interval = ParseBoundedInt(*text, 1, 3600000);
    if (!interval) {
      *error = "interval must be 1 to 3600000 milliseconds";
      return 400;
    }
    settings->interval_ms = static_cast<int>(*interval);
  }
  if (const auto text = FindParam(params, "chunk")) {
    const auto chunk = ParseBoundedInt(*text, 1, 1 << 20);
    if (!chunk) {
      *error = "chunk must be 1 to 1048576 bytes";
      return 400;
    }
    settings->chunk = static_cast<std::size_t>(*chunk);
  }
  if (const auto text = FindParam(params, "pause")) {
    const auto pause = ParseBoundedInt(*text, 0, 1000);
    if (!pause) {
      *error = "pause must be 0 to 1000 milliseconds";
      return 400;
    }
    settings->chunk_pause_ms = static_cast<int>(*pause);
  }
  if (const auto text = FindParam(params, "trailer")) settings->trailer = (*text != "0");
  if (const auto text = FindParam(params, "stall_after")) {
    const auto after = ParseBoundedInt(*text, 1, 1000000000);
    if (!after) {
      *error = "stall_after must be a whole number from 1";
      return 400;
    }
    settings->stall_after = *after;
    settings->stall_ms = 10000;
  }
  if (const auto text = FindParam(params, "stall")) {
    const auto stall = ParseBoundedInt(*text, 0, 3600000);
    if (!stall || !settings->stall_after) {
      *error = "stall must be 0 to 3600000 milliseconds, with stall_after";
      return 400;
    }
    settings->stall_ms = static_cast<int>(*stall);
  }
  if (style == StreamStyle::kBinaryAtEnd || style == StreamStyle::kBinaryAtStart) {
    if (const auto at = FindParam(params, "at")) {
      if (*at == "start") {
        settings->style = StreamStyle::kBinaryAtStart;
      } else if (*at == "end") {
        settings->style = StreamStyle::kBinaryAtEnd;
      } else {
        *error = "at must be start or end";
        return 400;
      }
    }
  }
  return 0;
}

std::string BinaryBlock() {
  std::string block;
  for (int value = 0; value < 256; ++value) block += static_cast<char>(value);
  block += '\n';
  return block;
}

std::string EveryByteBody() {
  std::string body;
  for (int round = 0; round < 4; ++round) {
    for (int value = 0; value < 256; ++value) body += static_cast<char>(value);
  }
  return body + std::string(kDelimiter, kDelimiterLength);
}

std::vector<StreamPiece> PlanCopy(const StreamSettings& settings, std::string_view page) {
  const std::string_view delimiter(kDelimiter, kDelimiterLength);
  std::vector<StreamPiece> pieces;
  std::string rest;
  switch (settings.style) {
    case StreamStyle::kSplitDelimiter:
      AppendChunked(pieces, delimiter.substr(0, kSplitDelimiterAt), kSplitDelimiterPauseMs, settings);
      rest = std::string(delimiter.substr(kSplitDelimiterAt)) + "\n" + std::string(page);
      break;
    case StreamStyle::kBackToBack:
      rest = std::string(delimiter) + std::string(delimiter) + "\n" + std::string(page);
      break;
    case StreamStyle::kBinaryAtEnd:
      rest = std::string(delimiter) + "\n" + std::string(page) + BinaryBlock();
      break;
    case StreamStyle::kBinaryAtStart:
      rest = std::string(delimiter) + "\n" + BinaryBlock() + std::string(page);
      break;
    case StreamStyle::kPlain:
    default:
      rest = std::string(delimiter) + "\n" + std::string(page);
      break;
  }
  AppendChunked(pieces, rest, 0, settings);
  return pieces;
}

std::string OversizedBody(std::string_view page, std::size_t size) {
  std::string body;
  body.reserve(size);
  if (page.empty()) page = "oversized\n";
  while (body.size() < size) body.append(page.substr(0, std::min(page.size(), size - body.size())));
  return body;
}

std::string DropMidPageBody(std::string_view page) {
  return std::string(kDelimiter, kDelimiterLength) + "\n" + std::string(page.substr(0, page.size() / 2));
}

std::string LoadPageBody(std::string_view virtual_server, std::string_view path) {
  return "<html><head><title>" + HtmlEscape(virtual_server) + "</title></head>\n<body><h1>" +
         HtmlEscape(virtual_server) + "</h1>\n<p>You asked for " + HtmlEscape(path) + ".</p></body></html>\n";
}

std::string ErrorBody(int status, std::string_view reason, std::string_view detail) {
  std::string body = std::to_string(status) + " " + std::string(reason) + "\n";
  if (!detail.empty()) body += std::string(detail) + "\n";
  return body;
}

std::string SafeReasonPhrase(std::string_view text) {
  std::string phrase(text.substr(0, 4000));
  for (char& c : phrase) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = ' ';
  }
  return phrase;
}

}  // namespace statserver
