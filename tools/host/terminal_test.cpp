#include "tools/host/terminal.h"

#include <gtest/gtest.h>

namespace sarvik_host {
namespace {

using Kind = KeyPress::Kind;

std::vector<Kind> Kinds(const std::vector<KeyPress>& keys) {
  std::vector<Kind> kinds;
  for (const KeyPress& key : keys) kinds.push_back(key.kind);
  return kinds;
}

TEST(TerminalTest, KeysAsTerminalsSendThem) {
  EXPECT_EQ((std::vector<Kind>{Kind::kPageDown, Kind::kPageUp, Kind::kUp, Kind::kDown, Kind::kHome, Kind::kEnd}),
            Kinds(DecodeKeys("\x1b[6~\x1b[5~\x1b[A\x1bOB\x1b[H\x1b[4~")));
  EXPECT_EQ((std::vector<Kind>{Kind::kEnter, Kind::kEnter, Kind::kBackspace, Kind::kBackspace}),
            Kinds(DecodeKeys("\r\n\n\x7f\x08")));

  const std::vector<KeyPress> typed = DecodeKeys("q/\xc2\xb5 ");
  ASSERT_EQ(4u, typed.size());
  EXPECT_TRUE(typed[0].Is('q'));
  EXPECT_TRUE(typed[1].Is('/'));
  EXPECT_EQ("\xc2\xb5", typed[2].text) << "a UTF-8 character is one key";
  EXPECT_TRUE(typed[3].Is(' '));

  EXPECT_EQ((std::vector<Kind>{Kind::kEscape}), Kinds(DecodeKeys("\x1b")));
  EXPECT_EQ((std::vector<Kind>{Kind::kEscape, Kind::kCharacter}), Kinds(DecodeKeys("\x1bx")));
  // Unknown sequences, function keys and control characters are dropped.
  EXPECT_EQ((std::vector<Kind>{Kind::kCharacter}), Kinds(DecodeKeys("\x1b[15~\x01j\x1b[1;5")));
}

}  // namespace
}  // namespace sarvik_host
