#include "polling/stream_splitter.h"

#include <cstring>

namespace {

// The next search starts one character past the end of the previous match.
constexpr std::size_t kSearchStep = kStreamDelimiter.size() + 1;

}  // namespace

StreamSplitter::Outcome StreamSplitter::Commit(std::size_t count, const CopyReceiver& receive) {
  Outcome outcome;
  if (count > free_room()) count = free_room();
  const std::size_t end = write_ + count;
  buffer_[end] = '\0';

  const std::string_view received(buffer_.data(), end);
  std::size_t earlier = std::string_view::npos;
  std::size_t later = std::string_view::npos;
  for (std::size_t from = 0; from <= end;) {
    const std::size_t match = received.find(kStreamDelimiter, from);
    if (match == std::string_view::npos) break;
    earlier = later;
    later = match;
    from = match + kSearchStep;
  }

  if (earlier != std::string_view::npos) {
    receive(buffer_.data() + earlier, later - earlier);
    outcome.published = true;
    delivered_ = true;
    const std::size_t rest = end - later;
    std::memmove(buffer_.data(), buffer_.data() + later, rest);
    write_ = rest;
    buffer_[write_] = '\0';
    return outcome;
  }

  write_ = end;
  if (write_ == kBufferSize - 1) {
    write_ = 0;
    outcome.discarded = true;
    outcome.discarded_undelivered = !delivered_;
    delivered_ = false;
  }
  return outcome;
}
