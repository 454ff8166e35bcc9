#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text_file.h"
#include "support.h"

namespace vokt {
namespace {

using Pieces = std::vector<std::string>;

Pieces pieces_of(const std::string& bytes) {
  test::TempDir dir;
  TextReader reader;
  EXPECT_EQ(reader.open(dir.file("in", bytes)), 0);
  Pieces pieces;
  std::string_view piece;
  while (reader.read_piece(piece)) pieces.emplace_back(piece);
  EXPECT_FALSE(reader.read_piece(piece));  // the end stays the end
  return pieces;
}

TEST(TextReader, DropsCrStopsAtControlZAndCutsLinesAt1023Bytes) {
  const std::string exact(1023, 'a'), c(2500, 'c');
  const std::pair<std::string, Pieces> cases[] = {
      {"one\r\ntw\ro\r\n\x1Agone\n", {"one\n", "two\n"}},
      {"x\ny", {"x\n", "y"}},
      {"", {}},
      {"\x1A", {}},
      {exact + "\n", {exact, "\n"}},
      {exact + "\r\n", {exact, "\n"}},
      {std::string(1022, 'b') + "\n", {std::string(1022, 'b') + "\n"}},
      {c + "\nz\n", {c.substr(0, 1023), c.substr(0, 1023), std::string(454, 'c') + "\n", "z\n"}},
  };
  for (const auto& [bytes, expected] : cases) EXPECT_EQ(pieces_of(bytes), expected) << bytes.substr(0, 20);
}

TEST(TextReader, InputLargerThanOneReadBlockIsTranslatedAcrossBlockEnds) {
  // CR LF lines of every length up to 699 bytes (several read blocks), then one
  // line far longer than a block, then a line, then the end.
  std::string raw;
  Pieces expected;
  for (int round = 0; round < 3; ++round) {
    for (std::size_t n = 0; n < 700; ++n) {
      raw += std::string(n, 'x') + "\r\n";
      expected.push_back(std::string(n, 'x') + "\n");
    }
  }
  const std::size_t huge = 300 * 1024;
  raw += std::string(huge, 'y') + "\r\nlast\r\n\x1A" + std::string(5000, 'z');
  for (std::size_t left = huge; left > 0; left -= std::min<std::size_t>(left, 1023)) {
    expected.push_back(std::string(std::min<std::size_t>(left, 1023), 'y'));
  }
  expected.back() += "\n";
  expected.push_back("last\n");
  EXPECT_EQ(pieces_of(raw), expected);
}

}  // namespace
}  // namespace vokt
