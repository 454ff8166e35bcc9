// Positions written as CSA or SFEN, turned into the diagram block of a KIF file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

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

std::string csa_board(int rank, std::string_view cells) {
  std::string board;
  for (int r = 1; r <= 9; ++r) {
    board.append(1, 'P').append(std::to_string(r)).append(r == rank ? cells : " *  *  *  *  *  *  *  *  * ").append("\n");
  }
  return board;
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

TEST(PositionForms, DamageIsReportedWithoutADiagram) {
  const std::pair<std::string, std::string> cases[] = {
      {csa_board(5, " *  *  *  *  *  *  *  * "), "rank line P5 with 8 cells"},
      {csa_board(5, " *  *  *  * +XX *  *  *  * "), "unknown piece \"+XX\" in P5"},
      {csa_board(5, " *  *  *  *  FU *  *  *  * "), "unknown piece \" FU\" in P5"},
      {csa_board(0, "").substr(0, 8 * 30), "rank line P9 missing"},
      {csa_board(0, "") + "P3 *  *  *  *  *  *  *  *  * ", "rank line P3 repeated"},
      {"PI\n" + csa_board(0, ""), "PI and rank lines both given"},
      {"PI55FU", "bad PI removal \"55FU\""},
      {csa_board(5, " *  *  *  * +FU *  *  *  * ") + "P-55OU\n", "square 55 placed twice"},
      {"P-11OU\nP+0AFU\n", "bad square \"0A\""},
      {"P-11OU\nP+5FU\n", "bad placement \"P+5FU\""},
      {"P-11OU\nP+00TO\n", "bad piece in hand \"TO\""},
      {"P-11OU,P-12RY\nP+00HI00HI\n", "3 rooks, more than a set holds"},
      {"P-11OU\nP+99OU\nP+59OU\n", "3 kings, more than a set holds"},
      {"sfen 9/9/9/9/9/9/9/9 b - 1", "SFEN board with 8 ranks"},
      {"sfen 9/9/9/9/8/9/9/9/9 b - 1", "SFEN rank 5 with 8 files"},
      {"sfen 9/9/9/9/45k/9/9/9/9 b - 1", "SFEN rank 5 with more than 9 files"},
      {"position sfen 9/9/9/9/4x4/9/9/9/9 b - moves 5e5d", "unknown piece \"x\" in the SFEN board"},
      {"9/9/9/9/4+k4/9/9/9/9 w -", "unknown piece \"+k\" in the SFEN board"},
      {"sfen 8k/9/9/9/9/9/9/9/9 x - 1", "bad SFEN side \"x\""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b 2K 1", "bad SFEN hand \"2K\""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b R0P 1", "bad SFEN hand \"R0P\""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b P3 1", "bad SFEN hand \"P3\""},
      {"sfen 8k/9/9/9/9/9/9/9/+P8 b 9P9p 1", "19 pawns, more than a set holds"},
      {"sfen 8k/9/9/9/9/9/9/9/9", "SFEN without side or hands"},
      // What no writer writes.
      {"+7776FU\n" + csa_board(0, ""), "move \"+7776FU\" before the position"},
      {"P-11OU\nP-99OU\n", "2 kings of the second player"},
      {"sfen K7K/9/9/9/9/9/9/9/9 b - 1", "2 kings of the first player"},
      {"P-11OU\nP+00AL\nP-00AL\n", "P+00AL and P-00AL both given"},
      // Quoted text: at most 40 bytes, control bytes written out.
      {"sfen 8k/9/9/9/9/9/9/9/9 b " + std::string(50, 'P') + "x 1", "bad SFEN hand \"" + std::string(40, 'P') + "...\""},
      {"sfen 8k/9/9/9/9/9/9/9/9 b \x1B[2J\x7F 1", R"(bad SFEN hand "\x1b[2J\x7f")"},
  };
  for (const auto& [text, error] : cases) {
    const PositionReading reading = read_position_text(text);
    EXPECT_NE(reading.form, PositionForm::none) << text;
    EXPECT_EQ(reading.error, error) << text;
    EXPECT_EQ(reading.diagram, "") << text;
  }
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
                                 "Play 7g7f b w\nlines/of/prose b w\n"}) {
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
