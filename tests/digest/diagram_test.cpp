#include <gtest/gtest.h>

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

std::string text_of(const PositionDigest& digest) { return std::string(text_view(digest_text(digest))); }

// The thirteen-line block of a one-move mate (second player's king on 2一,
// a gold on 2三, 飛 and 角 in hand) in Shift-JIS, whose digests are known.
std::string worked_block() {
  std::string utf8 = "  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n";
  const char* const numerals[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
  for (int r = 0; r < 9; ++r) {
    const char* rank = r == 0 ? " ・ ・ ・ ・ ・ ・ ・v玉 ・" : r == 2 ? " ・ ・ ・ ・ ・ ・ ・ 金 ・"
                       : r == 8 ? " ・ ・ ・ ・ ・ ・ ・ ・ 王" : " ・ ・ ・ ・ ・ ・ ・ ・ ・";
    utf8 += "|" + std::string(rank) + "|" + numerals[r] + "\n";
  }
  return sjis(utf8 + "+---------------------------+\n先手の持駒：飛　角\n");
}

// Reads the block after the first line of `bytes`, as callers do once they
// have found the board header; returns "direct mirrored" and the diagnostics.
std::pair<std::string, std::string> read_block(const std::string& bytes) {
  test::TempDir dir;
  TextReader file;
  EXPECT_EQ(file.open(dir.file("problem.kif", bytes)), 0);
  std::string_view header;
  EXPECT_TRUE(file.read_piece(header));
  PositionDigest direct, mirrored;
  testing::internal::CaptureStderr();
  read_diagram(direct, &mirrored, file);
  return {text_of(direct) + " " + text_of(mirrored), testing::internal::GetCapturedStderr()};
}

// Diagnostics for every line of a block from rank `first_rank` on.
std::string missing_from_rank(int first_rank) {
  std::string report;
  for (int rank = first_rank; rank <= 9; ++rank) {
    report += "(null): Unexpected data - No " + std::to_string(rank) + "-th vertical bar\n";
  }
  return report + "(null): Unexpected data - No last horizontal bar\n(null): Unexpected data - No hand\n";
}

TEST(ReadDiagram, FaultyBlocksAreReportedLineByLine) {
  const std::string whole = worked_block();
  std::string no_bar = whole;
  no_bar.erase(no_bar.find(sjis("|四")), 1);
  EXPECT_EQ(read_block(no_bar),
            std::pair(std::string("b87da5c8ec2be054 2c369db0e0897f14"),
                      std::string("(null): Unexpected data - No 4-th vertical bar\n")));
  // A block cut short reads each missing line as an empty line.
  std::size_t cut = 0;
  for (int line = 0; line < 5; ++line) cut = whole.find('\n', cut) + 1;
  const auto truncated = read_block(whole.substr(0, cut));
  EXPECT_EQ(truncated.second, missing_from_rank(4));
  EXPECT_EQ(truncated.first, read_block(whole.substr(0, cut) + std::string(8, '\n')).first);
  EXPECT_EQ(read_block(whole.substr(0, whole.find('\n') + 1)).second,
            "(null): Unexpected data - No first horizontal bar\n" + missing_from_rank(1));
}

// Every generated problem comes as the original, its mirror image and two
// copies written differently; index.tsv marks the mirror-symmetric ones.
TEST(ReadDiagram, CorpusMirrorsAndVariantsAgree) {
  const std::filesystem::path generated = std::filesystem::path(VOKT_CORPUS_DIR) / "generated";
  VOKT_SKIP_WITHOUT_CORPUS(generated);
  int problems = 0;
  for (const auto& set : std::filesystem::directory_iterator(generated)) {
    std::ifstream index(set.path() / "index.tsv");
    std::map<std::string, std::map<std::string, std::string>> digests;  // id -> kind -> "direct mirrored"
    std::map<std::string, bool> symmetric;
    std::string row;
    std::getline(index, row);  // column names
    while (std::getline(index, row)) {
      std::istringstream fields(row);
      std::string file, id, kind, sfen, mirror_symmetric;
      for (std::string* field : {&file, &id, &kind, &sfen, &mirror_symmetric}) std::getline(fields, *field, '\t');
      PositionDigest direct, mirrored;
      testing::internal::CaptureStderr();
      ProblemFile problem{(set.path() / file).string(), std::nullopt};
      EXPECT_EQ(digest_problem_file(problem, direct, mirrored), 0) << file;
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
      ++problems;
    }
  }
  EXPECT_GT(problems, 0);
}

}  // namespace
}  // namespace vokt
