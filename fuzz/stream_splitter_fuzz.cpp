// The statistics stream, as arbitrary bytes arriving in arbitrary reads.
//
// Input: one byte n (its low four bits), then n bytes that give the sizes of the reads in turn
// (a byte b asks for 1 + 65 * b bytes, at most what the buffer has room for; none at all reads
// one byte at a time), then the stream itself.
//
// Checks: the buffer always has room for one more byte; every copy begins with the delimiter,
// holds no further delimiter that the search could have found, and was received in the stream,
// in order; after a copy the kept rest begins with the delimiter; nothing is discarded before
// the buffer is full.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "polling/stream_splitter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t size_count = data[0] & 0x0F;
  if (size < 1 + size_count) return 0;
  const std::uint8_t* sizes = data + 1;
  const std::string_view stream(reinterpret_cast<const char*>(data + 1 + size_count), size - 1 - size_count);

  StreamSplitter splitter;
  std::vector<std::string_view> copies;
  std::size_t search_from = 0;  // where the next copy may start in the stream, at the earliest
  const StreamSplitter::CopyReceiver receive = [&](const char* text, std::size_t length) {
    const std::string_view copy(text, length);
    FUZZ_CHECK(length > kStreamDelimiter.size());
    FUZZ_CHECK(copy.substr(0, kStreamDelimiter.size()) == kStreamDelimiter);
    FUZZ_CHECK(copy.find(kStreamDelimiter, kStreamDelimiter.size() + 1) == std::string_view::npos);
    const std::size_t at = stream.find(copy, search_from);
    FUZZ_CHECK(at != std::string_view::npos);
    search_from = at + length;
  };

  std::size_t offset = 0;
  std::size_t read = 0;
  while (offset < stream.size()) {
    const std::size_t room = splitter.free_room();
    FUZZ_CHECK(room >= 1 && room <= StreamSplitter::kBufferSize - 1);
    std::size_t count = size_count == 0 ? 1 : 1 + 65 * std::size_t{sizes[read++ % size_count]};
    if (count > room) count = room;
    if (count > stream.size() - offset) count = stream.size() - offset;
    std::memcpy(splitter.write_position(), stream.data() + offset, count);
    offset += count;

    const StreamSplitter::Outcome outcome = splitter.Commit(count, receive);
    const std::size_t held = StreamSplitter::kBufferSize - 1 - splitter.free_room();
    FUZZ_CHECK(!(outcome.published && outcome.discarded));
    if (outcome.published) {
      const char* rest = splitter.write_position() - held;
      FUZZ_CHECK(held >= kStreamDelimiter.size());
      FUZZ_CHECK(std::string_view(rest, kStreamDelimiter.size()) == kStreamDelimiter);
    }
    if (outcome.discarded) {
      FUZZ_CHECK(count == room);
      FUZZ_CHECK(held == 0);
    }
    FUZZ_CHECK(!outcome.discarded_undelivered || outcome.discarded);
  }
  return 0;
}
