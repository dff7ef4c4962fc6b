#include "polling/stream_splitter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const std::string kD(kStreamDelimiter);

// Feeds `stream` to a splitter in pieces of the given sizes (the last size repeats) and
// returns the copies it published, in order.
std::vector<std::string> Split(const std::string& stream, std::vector<std::size_t> sizes,
                               std::vector<StreamSplitter::Outcome>* outcomes = nullptr) {
  StreamSplitter splitter;
  std::vector<std::string> copies;
  const auto receive = [&](const char* text, std::size_t length) { copies.emplace_back(text, length); };
  std::size_t offset = 0;
  std::size_t turn = 0;
  while (offset < stream.size()) {
    const std::size_t want = sizes[std::min(turn++, sizes.size() - 1)];
    const std::size_t count = std::min({want, splitter.free_room(), stream.size() - offset});
    stream.copy(splitter.write_position(), count, offset);
    offset += count;
    const StreamSplitter::Outcome outcome = splitter.Commit(count, receive);
    if (outcomes != nullptr) outcomes->push_back(outcome);
  }
  return copies;
}

TEST(StreamSplitterTest, PublishesTheTextBetweenTheLastTwoDelimiters) {
  // A, the delimiter, B, the delimiter and C in one read: the first copy is the delimiter and B.
  EXPECT_EQ(std::vector<std::string>{kD + "B"}, Split("A" + kD + "B" + kD + "C", {1000}));
  // Once a third delimiter arrives, the copy from the second up to it follows.
  EXPECT_EQ((std::vector<std::string>{kD + "B", kD + "C"}), Split("A" + kD + "B" + kD + "C" + kD, {52, 1000}));
  // Text before the first delimiter is never published, and a lone delimiter opens nothing.
  EXPECT_TRUE(Split("preamble without end" + kD + "page", {1000}).empty());
}

TEST(StreamSplitterTest, SeveralCopiesInOneReadPublishTheLatest) {
  EXPECT_EQ(std::vector<std::string>{kD + "3"}, Split(kD + "1" + kD + "2" + kD + "3" + kD, {1000}));
}

TEST(StreamSplitterTest, BackToBackDelimitersArePassedOver) {
  // The search after a match starts one character past its end, so the second of two adjacent
  // delimiters is not a match and the copy runs on to the next delimiter found.
  EXPECT_EQ(std::vector<std::string>{kD + kD + "page"}, Split(kD + kD + "page" + kD, {1000}));
  // One character between them is enough to be found.
  EXPECT_EQ(std::vector<std::string>{kD + "x"}, Split(kD + "x" + kD, {1000}));
}

TEST(StreamSplitterTest, EveryCopyArrivesWhateverTheReadSizes) {
  std::vector<std::string> pages;
  std::string stream = "HTTP preamble\n";
  for (int i = 0; i < 40; ++i) {
    pages.push_back(kD + "\nwebservd pid: " + std::to_string(1000 + i) + "\n" + std::string(300 + i * 7, 'x'));
    stream += pages.back();
  }
  stream += kD;  // completes the last page
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    // Reads shorter than a page add at most one delimiter at a time: no copy is skipped.
    std::vector<std::size_t> sizes;
    for (int i = 0; i < 400; ++i) sizes.push_back(1 + random() % 320);
    sizes.push_back(1 + random() % 320);
    EXPECT_EQ(pages, Split(stream, sizes)) << "round " << round;
  }
  // A delimiter split across reads a byte at a time is found as well.
  EXPECT_EQ(pages, Split(stream, {1}));
}

TEST(StreamSplitterTest, AFullBufferWithoutACopyIsDiscarded) {
  std::vector<StreamSplitter::Outcome> outcomes;
  const std::string flood(StreamSplitter::kBufferSize - 1, 'z');
  EXPECT_EQ(std::vector<std::string>{kD + "after"}, Split(flood + flood + kD + "after" + kD, {4096}, &outcomes));
  int discards = 0;
  int undelivered = 0;
  for (const auto& outcome : outcomes) {
    discards += outcome.discarded;
    undelivered += outcome.discarded_undelivered;
  }
  EXPECT_EQ(2, discards);
  EXPECT_EQ(2, undelivered);

  // After a copy was published, the next discard is not reported as undelivered.
  outcomes.clear();
  const std::vector<std::string> copies = Split(kD + "one" + kD + flood, {4096}, &outcomes);
  EXPECT_EQ(std::vector<std::string>{kD + "one"}, copies);
  discards = undelivered = 0;
  for (const auto& outcome : outcomes) {
    discards += outcome.discarded;
    undelivered += outcome.discarded_undelivered;
  }
  EXPECT_EQ(1, discards);
  EXPECT_EQ(0, undelivered);
}

TEST(StreamSplitterTest, BinaryBytesAndNulsAreOrdinaryText) {
  const std::string binary("\0\x01\xff\0page\0", 9);
  EXPECT_EQ(std::vector<std::string>{kD + binary}, Split(std::string("\0", 1) + kD + binary + kD, {5}));
}

}  // namespace
