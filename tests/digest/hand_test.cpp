#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "digest/digest.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

// Canonical hand of exactly these bytes, held in a buffer of their size so
// that the sanitizer sees any read past the end of the line.
std::string canonical(std::string_view bytes) {
  const std::vector<char> exact(bytes.begin(), bytes.end());
  return canonical_hand(std::string_view(exact.data(), exact.size()));
}

TEST(CanonicalHand, SortsTokensDescendingByUnsignedBytes) {
  EXPECT_EQ(canonical(sjis("持駒：角 飛 歩12 金2")), sjis("歩12飛金2角"));
  EXPECT_EQ(canonical(sjis("持駒：飛 角")), sjis("飛角"));
  EXPECT_EQ(canonical(sjis("持駒：角 飛")), sjis("飛角"));
  EXPECT_EQ(canonical(sjis("持駒：なし")), sjis("なし"));
  EXPECT_EQ(canonical(sjis("持駒：歩2 歩∞")), sjis("歩∞歩2"));
  EXPECT_EQ(canonical(sjis("持駒：n歩2 飛")), sjis("飛n歩2"));  // "n" and a character form one symbol
  // A hand line that kept 後手 is read from its seventh byte on.
  EXPECT_EQ(canonical(sjis("後手持駒：角 歩2")), sjis("歩2駒角："));
}

TEST(CanonicalHand, InfinityEndsItsTokenAndAStrayLastByteJoinsTheLastToken) {
  // Digits after ∞ are a token of their own, which sorts after 角.
  EXPECT_EQ(canonical(sjis("持駒：金∞12 角")), sjis("金∞角12"));
  // The stray "X" stays with 飛 and moves with it.
  EXPECT_EQ(canonical(sjis("持駒：角 飛X")), sjis("飛X角"));
}

TEST(CanonicalHand, EmptyAndShortLinesGiveTheEmptyString) {
  EXPECT_EQ(canonical(sjis("持駒：")), "");
  EXPECT_EQ(canonical(""), "");
  EXPECT_EQ(canonical(sjis("持駒")), "");  // shorter than the label
  EXPECT_EQ(canonical("\x8E"), "");
}

TEST(CanonicalHand, KeepsEveryTokenWholeBeyondTheUsualLimits) {
  std::string line = sjis("持駒：");
  std::string expected;
  for (int i = 0; i < 80; ++i) {
    line += sjis(" 歩1");
    expected += sjis("歩1");
  }
  line.erase(6, 1);  // no space right after the label
  EXPECT_EQ(canonical(line), expected);

  const std::string long_count = "1234567890123456789";  // a 21-byte token
  EXPECT_EQ(canonical(sjis("持駒：飛 歩" + long_count)), sjis("歩" + long_count + "飛"));
}

TEST(CanonicalHand, SymbolCutShortByTheEndTakesWhatRemains) {
  EXPECT_EQ(canonical(sjis("持駒：飛 ") + "X"), sjis("飛X"));
  std::string lead_byte_first(1, '\x95');  // 0x95 sorts before 飛 (94 F2)
  lead_byte_first += sjis("飛");
  EXPECT_EQ(canonical(sjis("持駒：飛 ") + "\x95"), lead_byte_first);
  EXPECT_EQ(canonical(sjis("持駒：歩∞") + "X"), sjis("歩∞X"));
  EXPECT_EQ(canonical(sjis("持駒：飛 ") + "n\x95"), sjis("飛") + "n\x95");
}

}  // namespace
}  // namespace vokt
