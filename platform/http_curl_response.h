// The head of an HTTP response as libcurl hands it over, line by line, through its header
// callback.
//
// One transfer can show several header blocks: informational (1xx) ones, which never count, and
// a 401 or 407 that libcurl answers itself with credentials, after which the web server's next
// response follows on the same transfer. A 401 or 407 block is therefore taken as the final one
// only once its body starts or the transfer ends; any other block is final as soon as its
// headers are complete. Lines after the final block (trailers of a chunked body) are ignored.
#pragma once

#include <string>
#include <string_view>

// Reads the status code and the reason phrase from an HTTP status line ("HTTP/1.1 404 Not
// Found", line end included or not). Returns false, with `*code` 0 and `*reason` empty, when the
// line starts with no "HTTP/" version or no three-digit code follows it. The reason phrase is
// the rest of the line without the blanks around it, empty when the server sent none.
bool ParseStatusLine(std::string_view line, int* code, std::string* reason);

class ResponseHead {
 public:
  // Forgets every block, for a new transfer.
  void Reset() { *this = ResponseHead(); }

  // One line from the header callback: a status line, a header line or the blank line that ends
  // a block (line ends included).
  void AddLine(std::string_view line);

  // Body bytes of the current block arrived.
  void NoteBody();

  // The transfer ended (well or not).
  void NoteEnd();

  // Whether the final response's status line and headers are complete.
  bool complete() const { return final_; }

  // Whether any status line arrived on this transfer.
  bool status_line_seen() const { return status_line_seen_; }

  // The final block's status code (0 when its status line could not be read) and reason phrase;
  // meaningful once complete().
  int status_code() const { return code_; }
  const std::string& reason_phrase() const { return reason_; }

  // Whether the latest block is a 407 whose Proxy-Authenticate headers offer Basic.
  bool proxy_offers_basic() const { return code_ == 407 && offers_basic_; }

 private:
  bool status_line_seen_ = false;
  bool in_block_ = false;      // a status line arrived, its blank line not yet
  bool auth_pending_ = false;  // a complete 401/407 block waits for its body or the end
  bool final_ = false;
  int code_ = 0;
  std::string reason_;
  bool offers_basic_ = false;
};
