#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

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
  std::array<std::string, 9> ranks{kEmptyRank, kEmptyRank, kEmptyRank, kEmptyRank, kEmptyRank,
                                   kEmptyRank, kEmptyRank, kEmptyRank, kEmptyRank};
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

TEST(ReadDiagram, WorkedExample) {
  const Outcome outcome = read_block(worked_example().text());
  EXPECT_EQ(outcome.direct, "b87da5c8ec2be054");
  EXPECT_EQ(outcome.mirrored, "2c369db0e0897f14");
  EXPECT_EQ(outcome.errors, "");
  EXPECT_EQ(outcome.listing, "");
}

TEST(ReadDiagram, DifferentlyWrittenCopiesGiveTheSameDigests) {
  const Outcome reference = read_block(worked_example().text());

  Block king = worked_example();
  king.ranks[8] = " ・ ・ ・ ・ ・ ・ ・ ・ 玉";
  king.hand = "先手の持駒：角　飛";
  Block plain_hand = worked_example();
  plain_hand.hand = "持駒：飛 角";
  for (const std::string& text : {king.text(), plain_hand.text(), worked_example().text("\r\n")}) {
    const Outcome outcome = read_block(text);
    EXPECT_EQ(outcome.direct, reference.direct);
    EXPECT_EQ(outcome.mirrored, reference.mirrored);
    EXPECT_EQ(outcome.errors, "");
  }

  Block dragon = worked_example();
  dragon.ranks[4] = " ・ ・ ・v竜 ・ ・ ・ ・ 竜";
  Block dragon_canonical = worked_example();
  dragon_canonical.ranks[4] = " ・ ・ ・v龍 ・ ・ ・ ・ 龍";
  EXPECT_EQ(read_block(dragon.text()).direct, read_block(dragon_canonical.text()).direct);
  EXPECT_NE(read_block(dragon.text()).direct, reference.direct);
}

TEST(ReadDiagram, MirrorImageExchangesTheDigests) {
  Block mirror = worked_example();
  mirror.ranks[0] = " ・v玉 ・ ・ ・ ・ ・ ・ ・";
  mirror.ranks[2] = " ・ 金 ・ ・ ・ ・ ・ ・ ・";
  mirror.ranks[8] = " 王 ・ ・ ・ ・ ・ ・ ・ ・";
  const Outcome outcome = read_block(mirror.text());
  EXPECT_EQ(outcome.direct, "2c369db0e0897f14");
  EXPECT_EQ(outcome.mirrored, "b87da5c8ec2be054");
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
// trailer). Digests are checked across the four.
TEST(ReadDiagram, CorpusMirrorsAndVariantsAgree) {
  const std::filesystem::path generated = std::filesystem::path(VOKT_CORPUS_DIR) / "generated";
  ASSERT_TRUE(std::filesystem::is_directory(generated)) << generated << " (set VOKT_CORPUS_DIR)";
  int problems = 0;
  for (const auto& entry : std::filesystem::directory_iterator(generated)) {
    std::ifstream index(entry.path() / "index.tsv");
    if (!index) continue;
    // id -> kind -> {file, mirror_symmetric}
    std::map<std::string, std::map<std::string, std::pair<std::string, std::string>>> sets;
    std::string row;
    std::getline(index, row);  // column names
    while (std::getline(index, row)) {
      std::istringstream fields(row);
      std::string file, id, kind, sfen, symmetric;
      std::getline(fields, file, '\t');
      std::getline(fields, id, '\t');
      std::getline(fields, kind, '\t');
      std::getline(fields, sfen, '\t');
      std::getline(fields, symmetric, '\t');
      sets[id][kind] = {(entry.path() / file).string(), symmetric};
    }
    for (const auto& [id, kinds] : sets) {
      SCOPED_TRACE(entry.path().filename().string() + " " + id);
      std::map<std::string, std::pair<std::string, std::string>> digests;  // kind -> direct, mirrored
      for (const auto& [kind, file] : kinds) {
        PositionDigest direct;
        PositionDigest mirrored;
        testing::internal::CaptureStderr();
        EXPECT_EQ(digest_problem_file(file.first, direct, mirrored), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << file.first;
        digests[kind] = {text_of(direct), text_of(mirrored)};
      }
      ASSERT_EQ(digests.size(), 4u);
      const auto& original = digests["orig"];
      EXPECT_EQ(original.first, digests["mirror"].second);
      EXPECT_EQ(original.second, digests["mirror"].first);
      EXPECT_EQ(original, digests["alt"]);
      EXPECT_EQ(original, digests["bod"]);
      EXPECT_EQ(original.first == original.second, kinds.at("orig").second == "1");
      ++problems;
    }
  }
  EXPECT_GT(problems, 0);
}

}  // namespace
}  // namespace vokt
