#include <gtest/gtest.h>

#include <string>

#include "digest/digest.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

TEST(Normalize, ChompAndReplaceAll) {
  std::string line = "abc\n";
  EXPECT_EQ(chomp(line), 4u);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(chomp(line), 3u);
  EXPECT_EQ(line, "abc");
  line = "\n\n";
  EXPECT_EQ(chomp(line), 2u);
  EXPECT_EQ(line, "\n");
  line = "aaa";
  replace_all(line, "aa", "a");  // left to right, never rescanning replacements
  EXPECT_EQ(line, "aa");
  line = "xax";
  replace_all(line, "a", "aa");
  EXPECT_EQ(line, "xaax");
  line = "abcab";
  replace_all(line, "ab", "");
  EXPECT_EQ(line, "c");
  line = sjis("| 玉v王 竜v竜v玉 王 ・ ・ ・|一\n");
  normalize_board_line(line);
  EXPECT_EQ(line, sjis("| 王v玉 龍v龍v玉 王 ・ ・ ・|一\n"));
}

TEST(Normalize, HandLineLabelsSpacesAndCounts) {
  const std::pair<const char*, const char*> cases[] = {
      {"先手の持駒：飛　角　歩十二\n", "持駒：飛 角 歩12"},
      {"下手の持駒：なし", "持駒：なし"},
      {"双方持駒：なし", "持駒：なし"},
      {"後手の持駒：角", "後手持駒：角"},
      // Two-character numerals before 十, and 十 before the digits.
      {"持駒：歩十八 香十一", "持駒：歩18 香11"},
      {"持駒：歩十二 桂十ニ 香十 金二 銀ニ", "持駒：歩12 桂12 香10 金2 銀2"},
      {"持駒：歩十九", "持駒：歩109"},
      {"持駒：歩九 と八 香七 桂六 銀五 金四 角三 飛一", "持駒：歩9 と8 香7 桂6 銀5 金4 角3 飛一"},
      // Cut at the first double space, after the other rewrites.
      {"持駒：飛 角  銀", "持駒：飛 角"},
      {"持駒：飛　　角", "持駒：飛"},
      {"持駒：飛　 角", "持駒：飛"},
      {"先手の持駒：飛 先手 角", "持駒：飛"},
      {"持駒：飛 ", "持駒：飛"},
      {"持駒：飛  \n", "持駒：飛"},
      {"持駒：飛　", "持駒：飛"},
      {"\n", ""},
      {" ", ""},
      {"先手の\n", ""},
      {"  持駒：飛", ""},
  };
  for (const auto& [in, out] : cases) {
    std::string line = sjis(in);
    normalize_hand_line(line);
    EXPECT_EQ(line, sjis(out)) << in;
  }
}

}  // namespace
}  // namespace vokt
