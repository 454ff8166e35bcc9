// The digest building blocks: CRC-64, line normalisation and the hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "digest/digest.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;
using namespace std::string_view_literals;

std::string text_of(const PositionDigest& digest) { return std::string(text_view(digest_text(digest))); }
std::string crc_of(std::initializer_list<std::string_view> pieces) {
  PositionDigest digest{0x1234, 0x5678};
  crc64_init(digest);
  for (const std::string_view piece : pieces) crc64_update(digest, piece);
  return text_of(digest);
}

TEST(Crc64, CatalogueValuesPiecesAndPadding) {
  EXPECT_EQ(crc_of({"123456789"}), "6c40df5f0b497347");
  EXPECT_EQ(crc_of({"123", "", "456789"}), "6c40df5f0b497347");
  EXPECT_EQ(crc_of({"abc"}), "66501a349a0e0855");
  EXPECT_EQ(crc_of({}), "0000000000000000");
  // Every byte value in order, fed as unsigned.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(crc_of({all}), "62b0da1c1b130a91");
  EXPECT_EQ(text_of(PositionDigest{0xA, 0xB}), "0000000a0000000b");  // high word first, zero padded
}

// The digest's definition, one bit at a time: the reference that the
// table-driven computation must agree with whatever the feeding.
std::string bitwise_crc64(std::string_view bytes) {
  std::uint64_t reg = 0;
  for (const char c : bytes) {
    reg ^= static_cast<std::uint64_t>(static_cast<unsigned char>(c)) << 56;
    for (int bit = 0; bit < 8; ++bit) reg = (reg << 1) ^ ((reg >> 63) != 0 ? 0x42F0E1EBA9EA3693ULL : 0);
  }
  return text_of(PositionDigest{static_cast<std::uint32_t>(reg >> 32), static_cast<std::uint32_t>(reg)});
}

TEST(Crc64, TableAgreesWithTheBitwiseDefinition) {
  std::mt19937_64 rng(42);
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(rng() % 300, '\0');
    for (auto& c : bytes) c = static_cast<char>(rng());
    PositionDigest digest;
    crc64_init(digest);
    // Fed in random slices: the 16-byte steps meet every alignment.
    for (std::size_t at = 0; at < bytes.size();) {
      const std::size_t length = std::min<std::size_t>(bytes.size() - at, rng() % 40);
      crc64_update(digest, std::string_view(bytes).substr(at, length));
      at += length;
    }
    ASSERT_EQ(text_of(digest), bitwise_crc64(bytes)) << round;
  }
}

// canonical_hand of exactly these bytes, in a buffer of their size so that
// the sanitizer sees any read past the end of the line.
std::string canonical(std::string_view bytes) {
  const std::vector<char> exact(bytes.begin(), bytes.end());
  return canonical_hand(std::string_view(exact.data(), exact.size()));
}

TEST(CanonicalHand, TokensSortedDescendingByUnsignedBytes) {
  std::string many = sjis("持駒："), many_sorted;
  for (int i = 0; i < 80; ++i) many += sjis(" 歩1"), many_sorted += sjis("歩1");
  many.erase(6, 1);  // no space right after the label
  const std::pair<std::string, std::string> cases[] = {
      {sjis("持駒：角 飛 歩12 金2"), sjis("歩12飛金2角")},
      {sjis("持駒：角 飛"), sjis("飛角")},
      {sjis("持駒：なし"), sjis("なし")},
      {sjis("持駒：歩2 歩∞"), sjis("歩∞歩2")},
      {sjis("持駒：飛") + '\0' + sjis(" 角"), sjis("飛")},  // text after a NUL is not seen
      {sjis("持駒：n歩2 飛"), sjis("飛n歩2")},          // "n" and a character form one symbol
      {sjis("後手持駒：角 歩2"), sjis("歩2駒角：")},     // read from the seventh byte on
      {sjis("持駒：金∞12 角"), sjis("金∞角12")},        // digits after ∞ are a token of their own
      {sjis("持駒：角 飛X"), sjis("飛X角")},             // a stray last byte joins the last token
      {sjis("持駒：飛 ") + "X", sjis("飛X")},
      {sjis("持駒：飛 ") + "\x95", std::string(1, '\x95').append(sjis("飛"))},  // a cut symbol
      {sjis("持駒：歩∞") + "X", sjis("歩∞X")},
      {sjis("持駒：飛 ") + "n\x95", sjis("飛") + "n\x95"},
      {sjis("持駒：飛 歩1234567890123456789"), sjis("歩1234567890123456789飛")},
      {many, many_sorted},
      {sjis("持駒："), ""},
      {"", ""},
      {sjis("持駒"), ""},
      {"\x8E", ""},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(canonical(line), expected) << line;
}


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

// The one-pass normalisation of a rank against the board table applied row by
// row, on random lines made of the patterns' bytes and their neighbours, so
// that patterns touch, nearly overlap and stand at both ends.
// Lines longer than 32 bytes cross the chunks of the scan; text after a NUL
// is left as it is.
TEST(Normalize, BoardLineInOnePassAsRowByRow) {
  std::mt19937_64 rng(20261209);
  static constexpr std::string_view kBytes = " v\x8B\xCA\x89\xA4\x97\xB3\xB4|\0"sv;
  for (int round = 0; round < 20000; ++round) {
    std::string line(rng() % 70, ' ');
    for (auto& c : line) c = kBytes[rng() % (round % 4 == 0 ? kBytes.size() : kBytes.size() - 1)];
    std::string expected = line.substr(0, line.find('\0'));
    replace_all(expected, sjis(" 玉"), sjis(" 王"));
    replace_all(expected, sjis("v王"), sjis("v玉"));
    replace_all(expected, sjis("竜"), sjis("龍"));
    expected += line.substr(expected.size());
    normalize_board_line(line);
    ASSERT_EQ(line, expected) << round;
  }
}

// The hand line in one pass against the table applied row by row, on random
// lines made of pieces of the patterns, so that deletions join bytes into
// later patterns, patterns nest (十二) and spaces double up.
TEST(Normalize, HandLineInOnePassAsRowByRow) {
  static const std::pair<std::string, std::string> kRows[] = {
      {sjis("双方"), ""}, {sjis("先手"), ""}, {sjis("下手"), ""}, {sjis("の"), ""}, {sjis("　"), " "},
      {sjis("十八"), "18"}, {sjis("十七"), "17"}, {sjis("十六"), "16"}, {sjis("十五"), "15"}, {sjis("十四"), "14"},
      {sjis("十三"), "13"}, {sjis("十二"), "12"}, {sjis("十ニ"), "12"}, {sjis("十一"), "11"}, {sjis("十"), "10"},
      {sjis("九"), "9"}, {sjis("八"), "8"}, {sjis("七"), "7"}, {sjis("六"), "6"}, {sjis("五"), "5"},
      {sjis("四"), "4"}, {sjis("三"), "3"}, {sjis("二"), "2"}, {sjis("ニ"), "2"}};
  std::vector<std::string> pieces = {" ", "\n", sjis("持駒："), sjis("歩"), "\x8F", "\x5C", "\x8E", "\x6C"};
  for (const auto& row : kRows) {
    pieces.push_back(row.first);
    pieces.push_back(row.first.substr(0, 1));
    pieces.push_back(row.first.substr(row.first.size() - 1));
  }
  std::mt19937_64 rng(20261210);
  for (int round = 0; round < 30000; ++round) {
    // Half of them start with the first player's label, as a data page's do.
    std::string line = round % 2 == 0 ? sjis("先手の持駒：") : "";
    for (std::size_t n = rng() % 12; n > 0; --n) line += pieces[rng() % pieces.size()];
    std::string expected = line;
    chomp(expected);
    for (const auto& [pattern, replacement] : kRows) replace_all(expected, pattern, replacement);
    expected = expected.substr(0, expected.find("  "));
    if (!expected.empty() && expected.back() == ' ') expected.pop_back();
    normalize_hand_line(line);
    ASSERT_EQ(line, expected) << round;
  }
}

TEST(Normalize, HandLineLabelsSpacesAndCounts) {
  const std::pair<const char*, const char*> cases[] = {
      {"先手の持駒：飛　角　歩十二\n", "持駒：飛 角 歩12"},
      {"下手の持駒：なし", "持駒：なし"},
      {"双方持駒：なし", "持駒：なし"},
      {"後手の持駒：角", "後手持駒：角"},
      // Two-character numerals before 十, and 十 before the digits.
      {"持駒：歩十八 香十一", "持駒：歩18 香11"},
      {"持駒：歩十七 香十六 桂十五 銀十四 金十三", "持駒：歩17 香16 桂15 銀14 金13"},
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
