// The build's walk through the data page, which passes over pieces block by
// block, against the same walk done piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/database.h"
#include "digest/digest.h"
#include "digest/sjis.h"
#include "nasty_text.h"
#include "platform/text_file.h"
#include "support.h"

namespace vokt {
namespace {

// The walk to the next record and its diagram, reading every piece.
void scan_piece_by_piece(PositionDigest& digest, TextReader& data_file, std::string_view field_one) {
  std::string_view piece;
  bool found_header = false;
  while (data_file.read_piece(piece)) {
    const std::string_view text = c_text(piece);
    if (text.size() >= 7 && text[0] == '[' && text[6] == ']') {
      found_header = true;
      break;
    }
  }
  bool has_diagram = false;
  while (found_header && data_file.read_piece(piece)) {
    const std::string_view text = c_text(piece);
    if (text.find("><hr></a>") != std::string_view::npos) break;
    if (text.find(sjis::kBoardHeader) != std::string_view::npos) {
      has_diagram = true;
      break;
    }
  }
  crc64_init(digest);
  if (has_diagram && field_one.find(' ') != std::string_view::npos) read_diagram(digest, nullptr, data_file);
}

// A data page of records with diagrams, damaged and missing ones, long lines
// with the markers near piece boundaries, stray CRs and NULs.
std::string data_page(test::NastyText& nasty) {
  const std::string cell = std::string(" ") + std::string(sjis::kHand.substr(0, 2));
  std::string page;
  const auto end = [&nasty] { return nasty.one_in(10) ? std::string(nasty.one_in(2) ? "\n" : "\r\r\n") : "\r\n"; };
  for (int record = 0; record < 400; ++record) {
    page += "<a name=\"x\"><hr></a>";
    page += end();
    if (!nasty.one_in(15)) {
      page += '[';
      page += std::to_string(10000 + record);
      page += ']';
      page += end();
    }
    if (nasty.one_in(6)) {
      std::string long_line = nasty.filler(1100 + nasty.below(3000));
      const std::string marker = nasty.one_in(2) ? std::string(sjis::kBoardHeader) : std::string("><hr></a>");
      const std::size_t boundary = 1023 * (1 + nasty.below(long_line.size() / 1023));
      long_line.insert(boundary - std::min(boundary, nasty.below(marker.size() + 3)), marker);
      page += long_line + end();
    }
    if (nasty.one_in(5)) continue;  // no diagram
    page += nasty.filler(nasty.below(30)) + std::string(sjis::kBoardHeader) + end();
    page += sjis::kBar;
    page += end();
    for (int rank = 0; rank < 9; ++rank) {
      std::string line = "|";
      for (int c = 0; c < 9; ++c) line += nasty.one_in(4) ? nasty.filler(3) : cell;
      line += "|";
      if (nasty.one_in(30)) line.insert(nasty.below(line.size()), 1, nasty.one_in(2) ? '\r' : '\0');
      if (nasty.one_in(40)) line.resize(nasty.below(line.size()));
      page += line + end();
    }
    page += sjis::kBar;
    page += end();
    page += std::string(sjis::kHand) + nasty.filler(nasty.below(12)) + end();
  }
  if (nasty.one_in(2)) page.insert(page.size() - nasty.below(page.size() / 4), 1, '\x1A');
  return page;
}

TEST(ScanEquivalence, BlockWiseWalkFindsTheSameRecordsAndDiagrams) {
  test::TempDir dir;
  for (std::uint64_t seed = 1; seed <= 8; ++seed) {
    SCOPED_TRACE(seed);
    test::NastyText nasty(seed);
    const std::string path = dir.file("mirzdata.htm", data_page(nasty));
    std::vector<std::string> fields;
    for (int row = 0; row < 420; ++row) fields.push_back(nasty.one_in(10) ? "nospace" : "with space");

    set_record_identifier("00001");
    const auto walk = [&](auto scan) {
      TextReader data_file;
      EXPECT_TRUE(data_file.open(path));
      std::vector<PositionDigest> digests;
      testing::internal::CaptureStdout();
      testing::internal::CaptureStderr();
      for (const auto& field : fields) {
        PositionDigest digest;
        scan(digest, data_file, field);
        digests.push_back(digest);
      }
      std::fflush(stdout);
      const std::string listing = testing::internal::GetCapturedStdout();
      const std::string diagnostics = testing::internal::GetCapturedStderr();
      return std::make_tuple(digests, listing, diagnostics);
    };
    const auto [fast_digests, fast_listing, fast_diagnostics] = walk(scan_data_record);
    const auto [digests, listing, diagnostics] = walk(scan_piece_by_piece);
    EXPECT_EQ(fast_digests, digests);
    EXPECT_EQ(fast_listing, listing);
    EXPECT_EQ(fast_diagnostics, diagnostics);
    EXPECT_NE(listing, "");  // diagrams were read
  }
  set_record_identifier(std::nullopt);
}

}  // namespace
}  // namespace vokt
