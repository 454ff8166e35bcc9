// The block-wise reader against the plain reading of the text mode, on
// random files full of what the text mode and the 1023-byte pieces do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "digest/sjis.h"
#include "nasty_text.h"
#include "platform/text_file.h"
#include "support.h"

namespace vokt {
namespace {

using Pieces = std::vector<std::string>;

bool holds(std::string_view piece, std::string_view text) { return piece.find(text) != std::string_view::npos; }

// Checks that `got`, the pieces read_piece_with stopped at, are pieces of
// `all` in their order, and that every piece passed over holds neither text.
void expect_candidates(const Pieces& all, const Pieces& got, std::string_view first, std::string_view second) {
  std::size_t next = 0;
  for (const auto& piece : got) {
    while (next < all.size() && all[next] != piece) {
      ASSERT_FALSE(holds(all[next], first) || holds(all[next], second)) << "passed over piece " << next;
      ++next;
    }
    ASSERT_LT(next, all.size()) << "a piece that the file does not have, or out of order";
    ++next;
  }
  for (; next < all.size(); ++next) {
    ASSERT_FALSE(holds(all[next], first) || holds(all[next], second)) << "passed over piece " << next;
  }
}

TEST(PieceReader, PiecesOfRandomFilesMatchThePlainReading) {
  test::TempDir dir;
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    test::NastyText nasty(seed);
    const std::string raw = nasty.file({"0123456789abcdef", "[", "><hr></a>"}, 300 + nasty.below(600));
    const std::string path = dir.file(std::to_string(seed) + ".txt", raw);
    // Read from the file, and from memory after text mode's rules are
    // applied to it as a whole, as a problem file is read.
    std::string held = raw;
    apply_text_mode(held);
    for (const bool in_memory : {false, true}) {
      TextReader reader;
      if (in_memory) {
        reader.open_text(held);
      } else {
        ASSERT_EQ(reader.open(path), 0);
      }
      Pieces got;
      std::string_view piece;
      while (reader.read_piece(piece)) got.emplace_back(piece);
      EXPECT_EQ(got, test::reference_pieces(raw)) << in_memory;
    }
  }
}

TEST(PieceReader, ReadPieceWithPassesOverOnlyPiecesWithoutTheTexts) {
  test::TempDir dir;
  const std::string digest = "9f86d081884c7d65";
  const std::string mirror = "5feceb66ffc86f38";
  for (std::uint64_t seed = 100; seed < 112; ++seed) {
    SCOPED_TRACE(seed);
    test::NastyText nasty(seed);
    const std::string raw = nasty.file({digest, mirror, digest.substr(0, 9)}, 300 + nasty.below(600));
    const std::string path = dir.file(std::to_string(seed) + ".txt", raw);
    const Pieces all = test::reference_pieces(raw);
    for (const bool one_text : {false, true}) {
      const std::string& second = one_text ? digest : mirror;
      TextReader reader;
      ASSERT_EQ(reader.open(path), 0);
      Pieces got;
      std::string_view piece;
      while (reader.read_piece_with(digest, second, piece)) got.emplace_back(piece);
      expect_candidates(all, got, digest, second);
      EXPECT_FALSE(reader.read_piece(piece));  // the end stays the end
    }
  }
}

// The build mixes both reads on the data page: skipping to a piece with a
// record header, the separator or the board header line, and then reading the
// lines of the diagram one by one. Every piece read one by one must be the
// next piece of the file.
TEST(PieceReader, SkippingAndReadingPieceByPieceMix) {
  test::TempDir dir;
  const std::string board_header(sjis::kBoardHeader);
  for (std::uint64_t seed = 200; seed < 212; ++seed) {
    SCOPED_TRACE(seed);
    test::NastyText nasty(seed);
    const std::string raw = nasty.file({"[", "><hr></a>", board_header}, 400 + nasty.below(400));
    const Pieces all = test::reference_pieces(raw);
    TextReader reader;
    ASSERT_EQ(reader.open(dir.file("f", raw)), 0);
    std::size_t next = 0;
    std::string_view piece;
    for (bool more = true; more;) {
      if (nasty.one_in(2)) {
        const bool separator = nasty.one_in(2);
        const std::string_view first = separator ? "><hr></a>" : "[";
        const std::string_view second = separator ? std::string_view(board_header) : "[";
        more = reader.read_piece_with(first, second, piece);
        // At the end, every piece left is passed over.
        while (next < all.size() && (!more || all[next] != piece)) {
          ASSERT_FALSE(holds(all[next], first) || holds(all[next], second)) << "passed over piece " << next;
          ++next;
        }
        if (more) {
          ASSERT_LT(next, all.size());
          ++next;
        }
      } else {
        for (std::size_t k = nasty.below(14); k > 0 && (more = reader.read_piece(piece)); --k) {
          ASSERT_LT(next, all.size());
          ASSERT_EQ(std::string(piece), all[next]) << "piece " << next;
          ++next;
        }
      }
    }
    EXPECT_EQ(next, all.size());
  }
}

}  // namespace
}  // namespace vokt
