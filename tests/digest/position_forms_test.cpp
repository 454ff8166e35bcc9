// Positions written as CSA or SFEN, turned into the diagram block of a KIF file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "digest/position_forms.h"
#include "digest/sjis.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

// The thirteen lines from the board header line of a KIF file, CRs removed.
std::string kif_block(const std::filesystem::path& path) {
  std::string bytes = test::read_file(path.string());
  std::erase(bytes, '\r');
  const std::size_t start = bytes.find(sjis::kBoardHeader);
  std::size_t end = start;
  for (int line = 0; line < 13 && end != std::string::npos; ++line) end = bytes.find('\n', end) + 1;
  return start == std::string::npos ? "" : bytes.substr(start, end - start);
}

std::string diagram_of(const std::string& text, PositionForm form) {
  const PositionReading reading = read_position_text(text);
  EXPECT_EQ(reading.form, form) << text;
  EXPECT_EQ(reading.error, "") << text;
  return reading.diagram;
}

// Every position of the generated corpus, in each of the three SFEN forms in
// turn, gives the block that the KIF writer wrote for it (and for its mirror
// image, which has a row of its own).
TEST(PositionForms, SfenGivesTheKifWritersDiagram) {
  const std::filesystem::path generated = std::filesystem::path(VOKT_CORPUS_DIR) / "generated";
  if (!std::filesystem::is_directory(generated)) GTEST_SKIP() << "no problem-file corpus at " << generated;
  int rows = 0;
  for (const auto& set : std::filesystem::directory_iterator(generated)) {
    std::ifstream index(set.path() / "index.tsv");
    std::string row, file, id, kind, sfen;
    std::getline(index, row);  // column names
    while (std::getline(index, row)) {
      std::istringstream fields(row);
      for (std::string* field : {&file, &id, &kind, &sfen}) std::getline(fields, *field, '\t');
      const std::string without_number = sfen.substr(0, sfen.rfind(' '));
      const std::string texts[] = {"sfen " + sfen + "\n", "position sfen " + without_number + " moves 7g7f 3c3d\n",
                                   "\xEF\xBB\xBF# problem " + id + "\r\n  " + without_number + " \r\n"};
      const std::string& text = texts[rows % 3];
      EXPECT_EQ(diagram_of(text, PositionForm::sfen), kif_block(set.path() / file)) << set.path() / file;
      ++rows;
    }
  }
  EXPECT_GT(rows, 0);
}

TEST(PositionForms, CsaGivesTheDiagramOfTheSameSfen) {
  const std::string ranks =
      "V2.2\nN+Sente\nN-Gote\n$EVENT:a cup, round 1\n'P1 in a comment\n"
      "P1-KY-KE *  *  *  *  *  * -OU\nP2 *  *  *  *  *  *  * +TO * \nP3 *  *  * -UM *  *  *  *  * \n"
      "P4 *  *  *  * +RY *  *  *  * \nP5 *  * -NY *  *  *  *  *  * \nP6 *  *  *  *  *  * +NK *  * \n"
      "\tP7 *  *  *  *  *  *  *  * -NG  \nP8 *  *  *  *  *  *  *  *  *\nP9+OU *  *  *  *  *  *  *  * \n"
      "P+00FU00FU,P+33KA00KI\nP+\nP-00AL\n+\n+2212TO\nP+00HI\n";  // an empty P+ places nothing
  const std::string expected = sjis(
      "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n"
      "|v香v桂 ・ ・ ・ ・ ・ ・v玉|一\n| ・ ・ ・ ・ ・ ・ ・ と ・|二\n| ・ ・ ・v馬 ・ ・ 角 ・ ・|三\n"
      "| ・ ・ ・ ・ 龍 ・ ・ ・ ・|四\n| ・ ・v杏 ・ ・ ・ ・ ・ ・|五\n| ・ ・ ・ ・ ・ ・ 圭 ・ ・|六\n"
      "| ・ ・ ・ ・ ・ ・ ・ ・v全|七\n| ・ ・ ・ ・ ・ ・ ・ ・ ・|八\n| 玉 ・ ・ ・ ・ ・ ・ ・ ・|九\n"
      "+---------------------------+\n先手の持駒：歩二　金　\n");
  EXPECT_EQ(diagram_of(ranks, PositionForm::csa), expected);
  EXPECT_EQ(diagram_of("sfen ln6k/7+P1/3+b2B2/4+R4/2+l6/6+N2/8+s/9/K8 b G2Pr 1", PositionForm::sfen), expected);

  std::string crlf = ranks;
  for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) crlf.insert(at, 1, '\r');
  EXPECT_EQ(diagram_of(crlf, PositionForm::csa), expected);

  // The initial position with PI's removals; the rest of the set to the first player.
  EXPECT_EQ(diagram_of("'handicap\r\nV3.0\r\nPI82HI22KA\r\n+\r\n+7776FU,T3\r\n%TORYO\r\n", PositionForm::csa),
            diagram_of("sfen lnsgkgsnl/9/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1", PositionForm::sfen));
  const std::string rest = diagram_of("\xEF\xBB\xBFP-11OU,P-21KE\nP+00AL\n", PositionForm::csa);
  EXPECT_EQ(rest, diagram_of("7nk/9/9/9/9/9/9/9/9 b 2R2B4G4S3N4L18P", PositionForm::sfen));
  EXPECT_TRUE(rest.ends_with(sjis("先手の持駒：歩十八　香四　桂三　銀四　金四　角二　飛二　\n"))) << rest;
}

// A row of the field-by-field tables: the text, and what reading it gives,
// written out: the pieces of the diagram on their squares ("21": file 2,
// rank 1; " ・" empties one) on an empty board or on the initial position,
// and the first player's hand as the hand line shows it; or the message.
struct Row {
  std::string text;
  std::vector<std::pair<int, std::string_view>> pieces;
  std::string_view hand = "なし";
  std::string error = "";
  bool initial = false;
};

const test::Board kInitial = {"v香v桂v銀v金v玉v金v銀v桂v香", " ・v飛 ・ ・ ・ ・ ・v角 ・", "v歩v歩v歩v歩v歩v歩v歩v歩v歩",
                              " ・ ・ ・ ・ ・ ・ ・ ・ ・",   " ・ ・ ・ ・ ・ ・ ・ ・ ・", " ・ ・ ・ ・ ・ ・ ・ ・ ・",
                              " 歩 歩 歩 歩 歩 歩 歩 歩 歩", " ・ 角 ・ ・ ・ ・ ・ 飛 ・", " 香 桂 銀 金 玉 金 銀 桂 香"};

void expect_rows(const std::vector<Row>& rows, PositionForm form) {
  for (const Row& row : rows) {
    test::Board board = row.initial ? kInitial : test::empty_board();
    for (const auto& [square, cell] : row.pieces) test::put(board, square % 10 - 1, 9 - square / 10, cell);
    const PositionReading reading = read_position_text(row.text);
    EXPECT_EQ(reading.form, form) << row.text;
    EXPECT_EQ(reading.error, row.error) << row.text;
    EXPECT_EQ(reading.diagram, row.error.empty() ? sjis(test::diagram(board, "先手の持駒：" + std::string(row.hand))) : "")
        << row.text;
  }
}

// Rank lines P1 to P9 with the given cells, the others empty.
std::string csa_ranks(std::initializer_list<std::pair<int, std::string_view>> given) {
  std::string board;
  for (int r = 1; r <= 9; ++r) {
    std::string_view cells = " *  *  *  *  *  *  *  *  * ";
    for (const auto& [rank, text] : given) cells = rank == r ? text : cells;
    board.append(1, 'P').append(std::to_string(r)).append(cells).append("\n");
  }
  return board;
}

TEST(PositionForms, CsaStatementByStatement) {
  const std::string empty = csa_ranks({});
  expect_rows(
      {
          // Rank lines: every piece name of both players; the blank after a
          // last empty cell may be missing; blanks before a statement.
          {" \t" + csa_ranks({{1, "-KY-KE-GI-KI-OU-KA-HI-FU * "}, {9, "+FU+KY+KE+GI+KI+KA+HI+OU *"}}),
           {{91, "v香"}, {81, "v桂"}, {71, "v銀"}, {61, "v金"}, {51, "v玉"}, {41, "v角"}, {31, "v飛"}, {21, "v歩"},
            {99, " 歩"}, {89, " 香"}, {79, " 桂"}, {69, " 銀"}, {59, " 金"}, {49, " 角"}, {39, " 飛"}, {29, " 玉"}}},
          {csa_ranks({{2, "+NY+NK+NG+TO+UM+RY *  *  * "}, {3, "-NY-NK-NG-TO-UM-RY *  *  * "}}),
           {{92, " 杏"}, {82, " 圭"}, {72, " 全"}, {62, " と"}, {52, " 馬"}, {42, " 龍"},
            {93, "v杏"}, {83, "v圭"}, {73, "v全"}, {63, "vと"}, {53, "v馬"}, {43, "v龍"}}},
          {csa_ranks({{5, " *  *  *  *  *  *  *  * "}}), {}, "", "rank line P5 with 8 cells"},
          {csa_ranks({{5, " *  *  *  *  *  *  *  *  *  * "}}), {}, "", "rank line P5 with 10 cells"},
          {csa_ranks({{5, " *  *  *  * +XX *  *  *  * "}}), {}, "", "unknown piece \"+XX\" in P5"},
          {csa_ranks({{5, " *  *  *  *  FU *  *  *  * "}}), {}, "", "unknown piece \" FU\" in P5"},
          {empty.substr(0, 8 * 30), {}, "", "rank line P9 missing"},
          {empty + "P3 *  *  *  *  *  *  *  *  * ", {}, "", "rank line P3 repeated"},
          {"PI\n" + empty, {}, "", "PI and rank lines both given"},
          {empty + "PI\n", {}, "", "PI and rank lines both given"},
          // PI and its removals.
          {"PI\n", {}, "なし", "", true},
          {"PI82HI22KA\n", {{82, " ・"}, {22, " ・"}}, "なし", "", true},
          {"PI82HI\nP+00HI\n", {{82, " ・"}}, "飛　", "", true},
          {"PI11KY91KY\nP-00AL\n", {{11, " ・"}, {91, " ・"}}, "なし", "", true},
          {"PI11KY\nP+00AL\n", {{11, " ・"}}, "香　", "", true},
          {"PI55FU\n", {}, "", "bad PI removal \"55FU\""},
          {"PI82KA\n", {}, "", "bad PI removal \"82KA\""},
          {"PI82RY\n", {}, "", "bad PI removal \"82RY\""},
          {"PI82H\n", {}, "", "bad PI \"82H\""},
          {"PI\nPI82HI\n", {}, "", "PI repeated"},
          // Placements on squares and in hand; 00AL, done last.
          {"P-11OU\nP+22KA00FU00FU\n", {{11, "v玉"}, {22, " 角"}}, "歩二　"},
          {"P+55TO,P-44RY\n", {{55, " と"}, {44, "v龍"}}},
          {"P-51OU\nP+00AL\n", {{51, "v玉"}}, "歩十八　香四　桂四　銀四　金四　角二　飛二　"},
          {"P+00AL\nP-51OU,P+55FU00KI\n", {{51, "v玉"}, {55, " 歩"}}, "歩十七　香四　桂四　銀四　金四　角二　飛二　"},
          {"P-51OU\nP-00AL\n", {{51, "v玉"}}},
          {"P+\nP-\n", {}},
          {"P-11OU\nP+0AFU\n", {}, "", "bad square \"0A\""},
          {"P+10FU\n", {}, "", "bad square \"10\""},
          {"P+55FU,P-55FU\n", {}, "", "square 55 placed twice"},
          {csa_ranks({{1, " *  *  *  *  *  *  *  * -OU"}}) + "P+11FU\n", {}, "", "square 11 placed twice"},
          {"P+00TO\n", {}, "", "bad piece in hand \"TO\""},
          {"P+00OU\n", {}, "", "bad piece in hand \"OU\""},
          {"P+55XX\n", {}, "", "unknown piece \"XX\" in \"P+55XX\""},
          {"P+5FU\n", {}, "", "bad placement \"P+5FU\""},
          {"P+" + std::string(45, 'A') + "\n", {}, "", "bad placement \"P+" + std::string(38, 'A') + "...\""},
          {"P+55\x1B[FU\n", {}, "", R"(bad placement "P+55\x1b[FU")"},
          {"P+00KI00KI00KI00KI00KI\n", {}, "", "5 golds, more than a set holds"},
          {"P-11OU,P+99OU,P+59OU\n", {}, "", "3 kings, more than a set holds"},
          {"P+59OU,P+51OU\n", {}, "", "2 kings of the first player"},
          {"P-59OU,P-51OU\n", {}, "", "2 kings of the second player"},
          {"P+59OU,P-51OU\nP+00AL\nP-00AL\n", {}, "", "P+00AL and P-00AL both given"},
          // The lines around a position, and what ends it; the characters a
          // line is split at inside comments, names and headers.
          {"V2.2\n'a comment,P+55FU\nN+Habu,P+55FU\n$EVENT:a cup,P+55FU\n"
           "P-11OU , P+22KA,,\n+\nT3\n",
           {{11, "v玉"}, {22, " 角"}}},
          {"\xEF\xBB\xBFP-11OU\r\n+\r\n+2212TO\r\nP+00HI\r\n-3334FU\r\n", {{11, "v玉"}}},
          {"P-11OU\n%TORYO\nP+00HI\n", {{11, "v玉"}}},
          {"+7776FU\nP-11OU\n", {}, "", "move \"+7776FU\" before the position"},
          {"%TORYO\nP-11OU\n", {}, "", "move \"%TORYO\" before the position"},
      },
      PositionForm::csa);
}

std::string with_hands(std::string_view hands) { return "sfen 8k/9/9/9/9/9/9/9/9 b " + std::string(hands) + " 1"; }

TEST(PositionForms, SfenFieldByField) {
  expect_rows(
      {
          // The board: every letter, promoted or not, digits for empty squares.
          {"sfen lnsgkbrp1/LNSGKBRP1/9/9/9/9/9/9/9 b - 1",
           {{91, "v香"}, {81, "v桂"}, {71, "v銀"}, {61, "v金"}, {51, "v玉"}, {41, "v角"}, {31, "v飛"}, {21, "v歩"},
            {92, " 香"}, {82, " 桂"}, {72, " 銀"}, {62, " 金"}, {52, " 玉"}, {42, " 角"}, {32, " 飛"}, {22, " 歩"}}},
          {"sfen +l+n+s+b+r+p3/+L+N+S+B+R+P3/9/9/9/9/9/9/9 b - 1",
           {{91, "v杏"}, {81, "v圭"}, {71, "v全"}, {61, "v馬"}, {51, "v龍"}, {41, "vと"},
            {92, " 杏"}, {82, " 圭"}, {72, " 全"}, {62, " 馬"}, {52, " 龍"}, {42, " と"}}},
          {"sfen 9/9/9/9/4k4/9/9/9/1K7 b - 1", {{55, "v玉"}, {89, " 玉"}}},
          {"sfen 9/9/9/9/9/9/9/9 b - 1", {}, "", "SFEN board with 8 ranks"},
          {"sfen 9/9/9/9/9/9/9/9/9/9 b - 1", {}, "", "SFEN board with 10 ranks"},
          {"sfen 8/9/9/9/9/9/9/9/9 b - 1", {}, "", "SFEN rank 1 with 8 files"},
          {"sfen 9/9/9/9/45k/9/9/9/9 b - 1", {}, "", "SFEN rank 5 with more than 9 files"},
          {"sfen 9/9/9/9/9/9/9/9/" + std::string(100, '9') + " b - 1", {}, "", "SFEN rank 9 with more than 9 files"},
          {"sfen 9/9/9/9/4x4/9/9/9/9 b - 1", {}, "", "unknown piece \"x\" in the SFEN board"},
          {"sfen 9/9/9/9/4+g4/9/9/9/9 b - 1", {}, "", "unknown piece \"+g\" in the SFEN board"},
          {"sfen 9/9/9/9/4+k4/9/9/9/9 b - 1", {}, "", "unknown piece \"+k\" in the SFEN board"},
          {"sfen 9/9/9/9/0/9/9/9/9 b - 1", {}, "", "unknown piece \"0\" in the SFEN board"},
          {"sfen 9/9/9/9/8+/9/9/9/9 b - 1", {}, "", "unknown piece \"+\" in the SFEN board"},
          {"sfen 9/9/9/9/\x1B/9/9/9/9 b - 1", {}, "", R"(unknown piece "\x1b" in the SFEN board)"},
          {"sfen K7K/9/9/9/9/9/9/9/9 b - 1", {}, "", "2 kings of the first player"},
          {"sfen k7k/9/9/9/9/9/9/9/9 b - 1", {}, "", "2 kings of the second player"},
          {"sfen K7k/9/9/9/9/9/9/9/k8 b - 1", {}, "", "3 kings, more than a set holds"},
          // The side to move: either, for the same diagram; nothing else.
          {"sfen 8k/9/9/9/9/9/9/9/9 w - 1", {{11, "v玉"}}},
          {"sfen 8k/9/9/9/9/9/9/9/9 B - 1", {}, "", "bad SFEN side \"B\""},
          {"sfen 8k/9/9/9/9/9/9/9/9", {}, "", "SFEN without side or hands"},
          {"sfen 8k/9/9/9/9/9/9/9/9 b", {}, "", "SFEN without side or hands"},
          // The hands: the first player's pieces in the order of the hand
          // line, each count from one to what a set holds; the second
          // player's count against the set only.
          {with_hands("-"), {{11, "v玉"}}},
          {with_hands("P"), {{11, "v玉"}}, "歩　"},
          {with_hands("1P"), {{11, "v玉"}}, "歩　"},
          {with_hands("2P"), {{11, "v玉"}}, "歩二　"},
          {with_hands("3P"), {{11, "v玉"}}, "歩三　"},
          {with_hands("4P"), {{11, "v玉"}}, "歩四　"},
          {with_hands("5P"), {{11, "v玉"}}, "歩五　"},
          {with_hands("6P"), {{11, "v玉"}}, "歩六　"},
          {with_hands("7P"), {{11, "v玉"}}, "歩七　"},
          {with_hands("8P"), {{11, "v玉"}}, "歩八　"},
          {with_hands("9P"), {{11, "v玉"}}, "歩九　"},
          {with_hands("10P"), {{11, "v玉"}}, "歩十　"},
          {with_hands("11P"), {{11, "v玉"}}, "歩十一　"},
          {with_hands("12P"), {{11, "v玉"}}, "歩十二　"},
          {with_hands("13P"), {{11, "v玉"}}, "歩十三　"},
          {with_hands("14P"), {{11, "v玉"}}, "歩十四　"},
          {with_hands("15P"), {{11, "v玉"}}, "歩十五　"},
          {with_hands("16P"), {{11, "v玉"}}, "歩十六　"},
          {with_hands("17P"), {{11, "v玉"}}, "歩十七　"},
          {with_hands("18P"), {{11, "v玉"}}, "歩十八　"},
          {with_hands("G3S2NL"), {{11, "v玉"}}, "香　桂二　銀三　金　"},
          {with_hands("2G4S3N2L"), {{11, "v玉"}}, "香二　桂三　銀四　金二　"},
          {with_hands("3GS4N3L"), {{11, "v玉"}}, "香三　桂四　銀　金三　"},
          {with_hands("4G2SN4L"), {{11, "v玉"}}, "香四　桂　銀二　金四　"},
          {with_hands("R2B"), {{11, "v玉"}}, "角二　飛　"},
          {with_hands("2RB"), {{11, "v玉"}}, "角　飛二　"},
          {with_hands("RBGSNLP"), {{11, "v玉"}}, "歩　香　桂　銀　金　角　飛　"},
          {with_hands("rbgsnl9pP"), {{11, "v玉"}}, "歩　"},
          {with_hands("19P"), {}, "", "19 pawns, more than a set holds"},
          {with_hands("10P9p"), {}, "", "19 pawns, more than a set holds"},
          {"sfen 8k/9/9/9/9/9/9/9/+P8 b 9P9p 1", {}, "", "19 pawns, more than a set holds"},
          {with_hands("5L"), {}, "", "5 lances, more than a set holds"},
          {with_hands("5N"), {}, "", "5 knights, more than a set holds"},
          {with_hands("5s"), {}, "", "5 silvers, more than a set holds"},
          {with_hands("5G"), {}, "", "5 golds, more than a set holds"},
          {with_hands("3B"), {}, "", "3 bishops, more than a set holds"},
          {with_hands("2Rr"), {}, "", "3 rooks, more than a set holds"},
          {with_hands("2K"), {}, "", "bad SFEN hand \"2K\""},
          {with_hands("0P"), {}, "", "bad SFEN hand \"0P\""},
          {with_hands("R0P"), {}, "", "bad SFEN hand \"R0P\""},
          {with_hands("P3"), {}, "", "bad SFEN hand \"P3\""},
          {with_hands("100P"), {}, "", "bad SFEN hand \"100P\""},
          {with_hands("+P"), {}, "", "bad SFEN hand \"+P\""},
          {with_hands(std::string(39, 'P') + "x"), {}, "", "bad SFEN hand \"" + std::string(39, 'P') + "x\""},
          {with_hands(std::string(40, 'P') + "x"), {}, "", "bad SFEN hand \"" + std::string(40, 'P') + "...\""},
          {with_hands("\x1B[2J\x7F"), {}, "", R"(bad SFEN hand "\x1b[2J\x7f")"},
          // The move number, present or not, and what follows it; the USI
          // command with or without its moves; the bare SFEN; blanks and the
          // lines around.
          {"sfen 8k/9/9/9/9/9/9/9/9 b G", {{11, "v玉"}}, "金　"},
          {"sfen 8k/9/9/9/9/9/9/9/9 b G 123 and then, a title", {{11, "v玉"}}, "金　"},
          {"position sfen 8k/9/9/9/9/9/9/9/9 b G 1 moves G*2a 1a2a", {{11, "v玉"}}, "金　"},
          {"position sfen 8k/9/9/9/9/9/9/9/9 w G moves 1a2a", {{11, "v玉"}}, "金　"},
          {"position\tsfen 8k/9/9/9/9/9/9/9/9 b G", {{11, "v玉"}}, "金　"},
          {"8k/9/9/9/9/9/9/9/9 b G", {{11, "v玉"}}, "金　"},
          {"  8k/9/9/9/9/9/9/9/9\tw\tG\t31  ", {{11, "v玉"}}, "金　"},
          {"# problem 12, the sfen below\n\nsfen 8k/9/9/9/9/9/9/9/9 b G 1\n# 1a2a\n", {{11, "v玉"}}, "金　"},
      },
      PositionForm::sfen);
}

// The first line that is a sound statement of either form decides; where
// none is, the first damaged one. A complete SFEN may be followed by text.
TEST(PositionForms, TheFirstSoundStatementDecidesTheForm) {
  test::Board gold = test::empty_board();
  test::put(gold, 0, 8, "v玉");
  const std::string king_and_gold = sjis(test::diagram(gold, "先手の持駒：金　"));
  const std::tuple<std::string, PositionForm, std::string> cases[] = {
      {"P12\nsfen 8k/9/9/9/9/9/9/9/9 b G 1\n", PositionForm::sfen, ""},
      {"sfen 8k/9/9/9/9/9/9/9 b G 1\nP-11OU,P+00KI\n", PositionForm::csa, ""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b G 1 and a title, then moves\n", PositionForm::sfen, ""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b G 1\nP-11OU\n", PositionForm::sfen, ""},
      {"P-11OU,P+00KI\nsfen 9/9/9/9/9/9/9/9/k8 b - 1\n", PositionForm::csa, ""},
      {"P12\n", PositionForm::csa, "rank line P1 with 1 cells"},
      {"P12\nsfen 9/9 b G 1\n", PositionForm::csa, "rank line P1 with 1 cells"},
  };
  for (const auto& [text, form, error] : cases) {
    const PositionReading reading = read_position_text(text);
    EXPECT_EQ(reading.form, form) << text;
    EXPECT_EQ(reading.error, error) << text;
    EXPECT_EQ(reading.diagram, error.empty() ? king_and_gold : "") << text;
  }
}

TEST(PositionForms, KifFilesAndProseAreNeither) {
  for (const std::string text : {"", "\n\n", "A mate in three. Its sfen is given below.\nPosition sfen: see the book\n",
                                 "Play 7g7f b w\nlines/of/prose b w\n",
                                 "sfen\nposition sfen\nposition startpos moves 7g7f\n",
                                 "8k/9/9/9/9/9/9/9/9 b - 1 2\n8k/9/9/9/9/9/9/9/9 b - 1st\n8k/9/9/9/9/9/9/9/9 b\n",
                                 "# sfen 8k/9/9/9/9/9/9/9/9 b - 1\n'P-11OU\n+7776FU\n%TORYO\n"}) {
    EXPECT_EQ(read_position_text(text).form, PositionForm::none) << text;
  }
  const std::filesystem::path corpus(VOKT_CORPUS_DIR);
  if (!std::filesystem::is_directory(corpus / "kif")) GTEST_SKIP() << "no problem-file corpus at " << corpus;
  int files = 0;
  for (const char* dir : {"kif", "kif_odd"}) {
    for (const auto& entry : std::filesystem::directory_iterator(corpus / dir)) {
      const std::string bytes = test::read_file(entry.path().string());
      EXPECT_EQ(read_position_text(bytes).form, PositionForm::none) << entry.path();
      // A diagram decides even when an SFEN line comes before it (the odd
      // ones have no diagram that the reader would read).
      if (dir == std::string_view("kif")) {
        EXPECT_EQ(read_position_text("sfen 8k/9/9/9/9/9/9/9/9 b G 1\n" + bytes).form, PositionForm::none);
      }
      ++files;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace vokt
