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

using namespace test;

std::string text_of(const PositionDigest& digest) { return std::string(text_view(digest_text(digest))); }

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
  const std::string whole = sjis(diagram(worked_board()));
  std::string no_bar = whole;
  no_bar.erase(no_bar.find(sjis("|四")), 1);
  EXPECT_EQ(read_block(no_bar),
            std::pair(std::string(test::kWorkedDirect) + " " + std::string(test::kWorkedMirrored),
                      std::string("(null): Unexpected data - No 4-th vertical bar\n")));
  // A block cut short reads each missing line as an empty line.
  std::size_t cut = 0;
  for (int line = 0; line < 5; ++line) cut = whole.find('\n', cut) + 1;
  const auto truncated = read_block(whole.substr(0, cut));
  EXPECT_EQ(truncated.second, missing_from_rank(4));
  EXPECT_EQ(truncated.first, read_block(whole.substr(0, cut) + std::string(8, '\n')).first);
  // A file that ends just before rank four's right bar.
  EXPECT_EQ(read_block(whole.substr(0, whole.find(sjis("|四")))).second, missing_from_rank(4));
  EXPECT_EQ(read_block(whole.substr(0, whole.find('\n') + 1)).second,
            "(null): Unexpected data - No first horizontal bar\n" + missing_from_rank(1));
}

// Text after a NUL byte in a rank line is not normalised: a dragon there
// stays as it is written.
TEST(ReadDiagram, RankTextAfterANulIsLeftAsItIs) {
  const auto with_dragon = [](std::string_view dragon) {
    Board board = worked_board();
    put(board, 4, 6, dragon);
    std::string block = sjis(diagram(board));
    block[block.find(sjis("|四\n")) + 5] = '\0';  // the side mark of rank five's first cell
    return read_block(block);
  };
  EXPECT_NE(with_dragon(" 竜"), with_dragon(" 龍"));
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
      std::string problem;
      EXPECT_EQ(read_problem_file((set.path() / file).string(), problem), 0) << file;
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
