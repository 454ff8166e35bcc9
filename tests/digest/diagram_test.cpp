#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "digest/digest.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

constexpr const char* kEmptyRank = " ・ ・ ・ ・ ・ ・ ・ ・ ・";
constexpr const char* kBar = "+---------------------------+";

// A diagram block as readable text: nine rank contents (the 27 bytes between
// the bars) and the hand line.
struct Block {
  std::vector<std::string> ranks = std::vector<std::string>(9, kEmptyRank);
  std::string hand = "先手の持駒：飛　角";

  // The thirteen lines in Shift-JIS, each ended by `eol`.
  std::string text(std::string_view eol = "\n") const {
    static const char* const kNumerals[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
    std::string utf8 = "  ９ ８ ７ ６ ５ ４ ３ ２ １\n" + std::string(kBar) + "\n";
    for (int r = 0; r < 9; ++r) utf8 += "|" + ranks[r] + "|" + kNumerals[r] + "\n";
    utf8 += std::string(kBar) + "\n" + hand + "\n";
    std::string out;
    for (const char c : sjis(utf8)) c == '\n' ? out.append(eol) : out.append(1, c);
    return out;
  }
};

Block worked_example() {
  Block block;
  block.ranks[0] = " ・ ・ ・ ・ ・ ・ ・v玉 ・";
  block.ranks[2] = " ・ ・ ・ ・ ・ ・ ・ 金 ・";
  block.ranks[8] = " ・ ・ ・ ・ ・ ・ ・ ・ 王";
  return block;
}

struct Outcome {
  std::string direct;
  std::string mirrored;  // empty when read without a mirrored digest
  std::string errors;
  std::string listing;
};

std::string text_of(const PositionDigest& digest) { return std::string(text_view(digest_text(digest))); }

// Reads the block that follows the first line of `bytes`, as the callers do
// once they have found the board header line.
Outcome read_block(const std::string& bytes, bool with_mirror = true) {
  test::TempDir dir;
  TextReader file;
  EXPECT_TRUE(file.open(dir.file("problem.kif", bytes)));
  std::string_view header;
  EXPECT_TRUE(file.read_piece(header));
  PositionDigest direct;
  PositionDigest mirrored;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  read_diagram(direct, with_mirror ? &mirrored : nullptr, file);
  Outcome outcome;
  outcome.listing = testing::internal::GetCapturedStdout();
  outcome.errors = testing::internal::GetCapturedStderr();
  outcome.direct = text_of(direct);
  if (with_mirror) outcome.mirrored = text_of(mirrored);
  return outcome;
}

TEST(ReadDiagram, WorkedExampleItsVariantsAndItsMirrorImage) {
  const Outcome outcome = read_block(worked_example().text());
  EXPECT_EQ(outcome.direct, "b87da5c8ec2be054");
  EXPECT_EQ(outcome.mirrored, "2c369db0e0897f14");
  EXPECT_EQ(outcome.errors, "");
  EXPECT_EQ(outcome.listing, "");

  // Other glyphs, hand orders and line ends for the same position.
  Block king = worked_example();
  king.ranks[8] = " ・ ・ ・ ・ ・ ・ ・ ・ 玉";
  king.hand = "先手の持駒：角　飛";
  Block plain_hand = worked_example();
  plain_hand.hand = "持駒：飛 角";
  for (const std::string& text : {king.text(), plain_hand.text(), worked_example().text("\r\n")}) {
    const Outcome variant = read_block(text);
    EXPECT_EQ(variant.direct, outcome.direct);
    EXPECT_EQ(variant.mirrored, outcome.mirrored);
    EXPECT_EQ(variant.errors, "");
  }

  Block mirror = worked_example();
  mirror.ranks[0] = " ・v玉 ・ ・ ・ ・ ・ ・ ・";
  mirror.ranks[2] = " ・ 金 ・ ・ ・ ・ ・ ・ ・";
  mirror.ranks[8] = " 王 ・ ・ ・ ・ ・ ・ ・ ・";
  const Outcome mirrored = read_block(mirror.text());
  EXPECT_EQ(mirrored.direct, outcome.mirrored);
  EXPECT_EQ(mirrored.mirrored, outcome.direct);
}

TEST(ReadDiagram, MissingVerticalBarIsReportedAndNotDigested) {
  std::string text = worked_example().text();
  text.erase(text.find(sjis("|四")), 1);
  const Outcome outcome = read_block(text);
  EXPECT_EQ(outcome.errors, "(null): Unexpected data - No 4-th vertical bar\n");
  EXPECT_EQ(outcome.direct, "b87da5c8ec2be054");
  EXPECT_EQ(outcome.mirrored, "2c369db0e0897f14");
}

TEST(ReadDiagram, BuildModeListsTheIdentifierAndTheNormalisedHand) {
  set_record_identifier("00012");
  const Outcome outcome = read_block(worked_example().text(), false);
  set_record_identifier(std::nullopt);
  EXPECT_EQ(outcome.listing, "[00012]\n" + sjis("持駒：飛 角") + "*\n");
  EXPECT_EQ(outcome.direct, "b87da5c8ec2be054");
  EXPECT_EQ(outcome.errors, "");
}

// The diagnostics for every line of a block from rank `first_rank` on.
std::string missing_from_rank(int first_rank) {
  std::string report;
  for (int rank = first_rank; rank <= 9; ++rank) {
    report += "(null): Unexpected data - No " + std::to_string(rank) + "-th vertical bar\n";
  }
  return report + "(null): Unexpected data - No last horizontal bar\n(null): Unexpected data - No hand\n";
}

TEST(ReadDiagram, BlockCutShortReadsEachMissingLineAsAnEmptyLine) {
  const std::string whole = worked_example().text();
  std::size_t cut = 0;
  for (int line = 0; line < 5; ++line) cut = whole.find('\n', cut) + 1;  // header, bar, three ranks
  const std::string truncated = whole.substr(0, cut);

  const Outcome outcome = read_block(truncated);
  EXPECT_EQ(outcome.errors, missing_from_rank(4));
  const Outcome padded = read_block(truncated + std::string(8, '\n'));
  EXPECT_EQ(outcome.direct, padded.direct);
  EXPECT_EQ(outcome.mirrored, padded.mirrored);

  const std::string header_only = whole.substr(0, whole.find('\n') + 1);
  EXPECT_EQ(read_block(header_only).errors,
            "(null): Unexpected data - No first horizontal bar\n" + missing_from_rank(1));
}

// The generated corpus: every problem comes as the original, its mirror image,
// and two copies written differently (CR LF with extra headers, another
// trailer); index.tsv lists them with a mirror_symmetric column.
TEST(ReadDiagram, CorpusMirrorsAndVariantsAgree) {
  const std::filesystem::path generated = std::filesystem::path(VOKT_CORPUS_DIR) / "generated";
  ASSERT_TRUE(std::filesystem::is_directory(generated)) << generated << " (set VOKT_CORPUS_DIR)";
  int problems = 0;
  for (const auto& set : std::filesystem::directory_iterator(generated)) {
    std::ifstream index(set.path() / "index.tsv");
    std::map<std::string, std::map<std::string, std::string>> digests;  // id -> kind -> digests
    std::map<std::string, bool> symmetric;
    std::string row;
    std::getline(index, row);  // column names
    while (std::getline(index, row)) {
      std::istringstream fields(row);
      std::string file, id, kind, sfen, mirror_symmetric;
      for (std::string* field : {&file, &id, &kind, &sfen, &mirror_symmetric}) std::getline(fields, *field, '\t');
      PositionDigest direct;
      PositionDigest mirrored;
      testing::internal::CaptureStderr();
      EXPECT_EQ(digest_problem_file((set.path() / file).string(), direct, mirrored), 0) << file;
      EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << file;
      digests[id][kind] = text_of(direct) + " " + text_of(mirrored);
      if (kind == "mirror") digests[id]["mirror swapped"] = text_of(mirrored) + " " + text_of(direct);
      symmetric[id] = mirror_symmetric == "1";
    }
    for (auto& [id, kinds] : digests) {
      SCOPED_TRACE(set.path().filename().string() + " " + id);
      EXPECT_EQ(kinds["orig"], kinds["mirror swapped"]);
      EXPECT_EQ(kinds["orig"], kinds["alt"]);
      EXPECT_EQ(kinds["orig"], kinds["bod"]);
      EXPECT_EQ(kinds["orig"].substr(0, 16) == kinds["orig"].substr(17), symmetric[id]);
      EXPECT_EQ(kinds["orig"].size(), 33u);
      ++problems;
    }
  }
  EXPECT_GT(problems, 0);
}

}  // namespace
}  // namespace vokt
