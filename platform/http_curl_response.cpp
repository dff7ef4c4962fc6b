#include "platform/http_curl_response.h"

#include "platform/text.h"

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Whether a Proxy-Authenticate value offers the Basic scheme. A value may list several
// challenges ("Digest realm=..., Basic realm=..."); a scheme starts the value or follows a comma.
bool OffersBasic(std::string_view value) {
  std::size_t at = 0;
  while (at <= value.size()) {
    const std::string_view rest = Trimmed(value.substr(at));
    if (StartsWithIgnoringCase(rest, "basic") && (rest.size() == 5 || IsBlank(rest[5]) || rest[5] == ',')) {
      return true;
    }
    const std::size_t comma = value.find(',', at);
    if (comma == std::string_view::npos) break;
    at = comma + 1;
  }
  return false;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseStatusLine(std::string_view line, int* code, std::string* reason) {
  *code = 0;
  reason->clear();
  line = WithoutLineEnd(line);
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  if (line.substr(0, 5) != "HTTP/") return false;
  std::size_t at = 5;
  while (at < line.size() && !IsBlank(line[at])) ++at;
  if (at == line.size()) return false;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (line.size() - at < 3 || !IsDigit(line[at]) || !IsDigit(line[at + 1]) || !IsDigit(line[at + 2])) return false;
  if (line.size() - at > 3 && IsDigit(line[at + 3])) return false;
  *code = (line[at] - '0') * 100 + (line[at + 1] - '0') * 10 + (line[at + 2] - '0');
  *reason = std::string(Trimmed(line.substr(at + 3)));
  return true;
}

void ResponseHead::AddLine(std::string_view line) {
  if (final_) return;
  if (!in_block_) {
    // A new block replaces a 401/407 that libcurl has just answered.
    status_line_seen_ = true;
    in_block_ = true;
    auth_pending_ = false;
    offers_basic_ = false;
    ParseStatusLine(line, &code_, &reason_);
    return;
  }
  const std::string_view content = WithoutLineEnd(line);
  if (content.empty()) {
    in_block_ = false;
    if (code_ >= 100 && code_ < 200) return;
    if (code_ == 401 || code_ == 407) {
      auth_pending_ = true;
    } else {
      final_ = true;
    }
    return;
  }
  static constexpr std::string_view kProxyAuthenticate = "proxy-authenticate:";
  if (StartsWithIgnoringCase(content, kProxyAuthenticate) && OffersBasic(content.substr(kProxyAuthenticate.size()))) {
    offers_basic_ = true;
  }
}

void ResponseHead::NoteBody() {
  if (auth_pending_) final_ = true;
}

void ResponseHead::NoteEnd() {
  if (auth_pending_) final_ = true;
}
