#include <gtest/gtest.h>

#include <string>

#include "digest/digest.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

TEST(Chomp, RemovesOneTrailingLineFeedAndReturnsTheOldLength) {
  std::string line = "abc\n";
  EXPECT_EQ(chomp(line), 4u);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(chomp(line), 3u);  // no line feed: unchanged
  EXPECT_EQ(line, "abc");
  line = "\n\n";
  EXPECT_EQ(chomp(line), 2u);
  EXPECT_EQ(line, "\n");
}

TEST(ReplaceAll, LeftToRightWithoutRescanningReplacements) {
  std::string line = "aaa";
  replace_all(line, "aa", "a");  // one non-overlapping occurrence, then "a"
  EXPECT_EQ(line, "aa");
  line = "xax";
  replace_all(line, "a", "aa");  // must not loop on its own output
  EXPECT_EQ(line, "xaax");
  line = "abcab";
  replace_all(line, "ab", "");
  EXPECT_EQ(line, "c");
}

TEST(NormalizeBoardLine, CanonicalKingsAndDragons) {
  std::string line = sjis("| 玉v王 竜v竜v玉 王 ・ ・ ・|一\n");
  normalize_board_line(line);
  EXPECT_EQ(line, sjis("| 王v玉 龍v龍v玉 王 ・ ・ ・|一\n"));
}

TEST(NormalizeHandLine, RewritesLabelsSpacesAndCounts) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"先手の持駒：飛　角　歩十二\n", "持駒：飛 角 歩12"},
      {"下手の持駒：なし", "持駒：なし"},
      {"双方持駒：なし", "持駒：なし"},
      {"後手の持駒：角", "後手持駒：角"},  // 後手 stays; only の goes
      // Two-character numerals go before 十, and 十 before the digits.
      {"持駒：歩十八 香十一", "持駒：歩18 香11"},
      {"持駒：歩十二 桂十ニ 香十 金二 銀ニ", "持駒：歩12 桂12 香10 金2 銀2"},
      {"持駒：歩十九", "持駒：歩109"},
      {"持駒：歩九 と八 香七 桂六 銀五 金四 角三 飛一", "持駒：歩9 と8 香7 桂6 銀5 金4 角3 飛一"},
      // Cut at the first double space, after the ideographic spaces and
      // the deletions have had their say.
      {"持駒：飛 角  銀", "持駒：飛 角"},
      {"持駒：飛　　角", "持駒：飛"},
      {"持駒：飛　 角", "持駒：飛"},
      {"先手の持駒：飛 先手 角", "持駒：飛"},
      {"持駒：飛 ", "持駒：飛"},
      {"持駒：飛  \n", "持駒：飛"},
      {"持駒：飛　", "持駒：飛"},
      // Lines that end up empty stay empty.
      {"", ""},
      {"\n", ""},
      {" ", ""},
      {"先手の\n", ""},
      {"  持駒：飛", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    std::string line = sjis(c.in);
    normalize_hand_line(line);
    EXPECT_EQ(line, sjis(c.out));
  }
}

}  // namespace
}  // namespace vokt
