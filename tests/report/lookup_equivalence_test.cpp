// The lookup, which passes over the digest file block by block, against the
// plainest reading of the rule: every piece of the file, as the text mode and
// a 1023-byte line read give it, is searched for both digest texts.
#include <gtest/gtest.h>

#include <string>

#include "digest/digest.h"
#include "nasty_text.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"
#include "support.h"

namespace vokt {
namespace {

PositionDigest digest_of(std::uint64_t value) {
  return PositionDigest{static_cast<std::uint32_t>(value >> 32), static_cast<std::uint32_t>(value)};
}

// The match lines and the count line, piece by piece, after the first
// `skipped` pieces.
std::string reference_matches(std::string_view raw, std::size_t skipped, std::string_view direct,
                              std::string_view mirrored) {
  std::string page;
  long count = 0;
  const auto pieces = test::reference_pieces(raw);
  for (std::size_t i = skipped; i < pieces.size(); ++i) {
    const std::string_view piece = pieces[i];
    const std::string_view line = piece.substr(0, piece.find('\0'));  // what the C string functions see
    const std::string_view shown = line.size() > 17 ? line.substr(17) : std::string_view();
    if (line.find(direct) != std::string_view::npos) {
      page += "  ";
      page += shown;
      ++count;
    }
    if (direct != mirrored && line.find(mirrored) != std::string_view::npos) {
      page += "* ";
      page += shown;
      ++count;
    }
  }
  if (count != 0) page += "\n";
  page += report_text::kCountLabel;
  page += std::to_string(count);
  page += report_text::kCountUnit;
  page += "\n";
  std::string on_disk;  // as the text mode writes it
  for (const char c : page) on_disk += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return on_disk;
}

TEST(LookupEquivalence, MatchesOfRandomDigestFilesAreThoseOfThePlainReading) {
  test::TempDir dir;
  for (std::uint64_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE(seed);
    test::NastyText nasty(seed);
    const PositionDigest direct = digest_of(0x9f86d081884c7d65ULL * seed);
    const bool symmetric = seed % 4 == 0;
    const PositionDigest mirrored = symmetric ? direct : digest_of(0x5feceb66ffc86f38ULL ^ (seed << 40));
    const std::string d(text_view(digest_text(direct)));
    const std::string m(text_view(digest_text(mirrored)));
    // Record lines with fields of about 100 bytes, and the nasty lines.
    std::string raw;
    for (int record = 0; record < 300; ++record) {
      const std::string& key = nasty.one_in(10) ? (nasty.one_in(2) ? d : m) : nasty.filler(16);
      raw += key + " " + nasty.filler(100) + "\r\n";
    }
    raw += nasty.file({d, m, d.substr(0, 12), m.substr(3)}, 300 + nasty.below(500));

    const std::string digest_path = dir.file("vokt.dat", raw);
    const std::string page_path = dir.path("page");
    const std::size_t skipped = seed % 3;  // the header lines are read before the lookup
    {
      TextReader digest_file;
      ASSERT_EQ(digest_file.open(digest_path), 0);
      std::string_view piece;
      for (std::size_t k = 0; k < skipped; ++k) digest_file.read_piece(piece);
      TextWriter page;
      ASSERT_EQ(page.open_replacement(page_path), 0);
      list_matches(digest_file, page, direct, mirrored);
      ASSERT_EQ(page.close(), 0);
    }
    EXPECT_EQ(test::read_bytes(page_path), reference_matches(raw, skipped, d, m));
  }
}

}  // namespace
}  // namespace vokt
