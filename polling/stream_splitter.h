// Cuts the statistics stream into complete copies of the page.
//
// The web server repeats its page in one endless response, each copy introduced by the
// delimiter "THIS_STRING_NEVER_HAPPENS". Bytes are read straight into the splitter's buffer
// (16383 characters and a terminating NUL). After each read the buffer is searched for the
// delimiter: the first search starts at the beginning, each further one 26 characters after
// the start of the previous match (so a delimiter that directly follows another is passed
// over). When two or more delimiters are found, the text from the earlier of the last two up
// to the later one is a complete copy; the rest, from the later delimiter on, moves to the
// front of the buffer and waits for the next delimiter. Text before the first delimiter of a
// stream is never a copy. A buffer that fills up without a complete copy is discarded.
//
// Binary bytes and NULs are ordinary bytes to the search. One splitter serves one response on
// one thread.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

inline constexpr std::string_view kStreamDelimiter = "THIS_STRING_NEVER_HAPPENS";

class StreamSplitter {
 public:
  static constexpr std::size_t kBufferSize = 16384;

  // Receives each complete copy: its text (starting with the delimiter) and its length. The
  // text is valid only during the call.
  using CopyReceiver = std::function<void(const char* text, std::size_t length)>;

  // What one read did to the buffer.
  struct Outcome {
    bool published = false;  // a complete copy went to the receiver
    bool discarded = false;  // the buffer was full without a complete copy and was emptied
    // Discarded, and no copy had been published since the buffer was last discarded.
    bool discarded_undelivered = false;
  };

  // Where the next read must write, and how many bytes it may write there (at least 1).
  char* write_position() { return buffer_.data() + write_; }
  std::size_t free_room() const { return kBufferSize - 1 - write_; }

  // Takes the `count` bytes just written at write_position() (count <= free_room()).
  Outcome Commit(std::size_t count, const CopyReceiver& receive);

 private:
  std::array<char, kBufferSize> buffer_{};
  std::size_t write_ = 0;
  bool delivered_ = false;  // a copy was published since the buffer was last discarded
};
