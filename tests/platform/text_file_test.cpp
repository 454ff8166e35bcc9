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

// Every piece of the file, in order.
Pieces pieces_of(const std::string& path) {
  TextReader reader;
  EXPECT_TRUE(reader.open(path));
  Pieces pieces;
  std::string_view piece;
  while (reader.read_piece(piece)) pieces.emplace_back(piece);
  EXPECT_FALSE(reader.read_piece(piece));  // the end stays the end
  return pieces;
}

TEST(TextReader, DropsCarriageReturnsAndStopsAtTheFirstControlZ) {
  test::TempDir dir;
  EXPECT_EQ(pieces_of(dir.file("a", "one\r\ntw\ro\r\n\x1Agone\n")), (Pieces{"one\n", "two\n"}));
  EXPECT_EQ(pieces_of(dir.file("b", "x\ny")), (Pieces{"x\n", "y"}));  // last line without line feed
  EXPECT_EQ(pieces_of(dir.file("c", "")), Pieces{});
  EXPECT_EQ(pieces_of(dir.file("d", "\x1A")), Pieces{});
}

TEST(TextReader, LongLinesArriveInPiecesOfAtMost1023Bytes) {
  test::TempDir dir;
  const std::string exact(1023, 'a');
  EXPECT_EQ(pieces_of(dir.file("a", exact + "\n")), (Pieces{exact, "\n"}));
  EXPECT_EQ(pieces_of(dir.file("b", std::string(1022, 'b') + "\n")), Pieces{std::string(1022, 'b') + "\n"});
  const std::string long_line(2500, 'c');
  EXPECT_EQ(pieces_of(dir.file("c", long_line + "\nz\n")),
            (Pieces{long_line.substr(0, 1023), long_line.substr(0, 1023), std::string(454, 'c') + "\n", "z\n"}));
  // A CR between the 1023rd byte and the line feed does not count.
  EXPECT_EQ(pieces_of(dir.file("d", exact + "\r\n")), (Pieces{exact, "\n"}));
}

TEST(TextReader, InputLargerThanOneReadBlockIsTranslatedAcrossBlockEnds) {
  // CR LF lines of every length from 0 to 699 bytes, about 740 KB: several
  // internal read blocks, whose ends fall inside lines.
  std::string raw;
  Pieces expected;
  for (int round = 0; round < 3; ++round) {
    for (std::size_t n = 0; n < 700; ++n) {
      raw += std::string(n, 'x') + "\r\n";
      expected.push_back(std::string(n, 'x') + "\n");
    }
  }
  // One line far longer than a block, then a line after it, then the end.
  const std::size_t huge = 300 * 1024;
  raw += std::string(huge, 'y') + "\r\nlast\r\n\x1A" + std::string(5000, 'z');
  for (std::size_t left = huge; left > 0; left -= std::min<std::size_t>(left, 1023)) {
    expected.push_back(std::string(std::min<std::size_t>(left, 1023), 'y'));
  }
  expected.back() += "\n";  // 300 KiB is not a multiple of 1023: the last piece holds the line feed
  expected.push_back("last\n");
  ASSERT_GT(raw.size(), 2 * 256 * 1024u);

  test::TempDir dir;
  EXPECT_EQ(pieces_of(dir.file("big", raw)), expected);
}

TEST(TextWriter, LineFeedsBecomeCrLfOnDisk) {
  test::TempDir dir;
  const std::string path = dir.path("out.txt");
  {
    TextWriter writer;
    ASSERT_TRUE(writer.open(path));
    writer.write("a\nb");
    writer.write('c');
    writer.write("\n\n");
    EXPECT_TRUE(writer.close());
  }
  EXPECT_EQ(test::read_bytes(path), "a\r\nbc\r\n\r\n");

  // Output larger than the writer's buffer arrives whole and in order.
  std::string text;
  std::string on_disk;
  for (int i = 0; i < 20000; ++i) {
    text += std::to_string(i) + "\n";
    on_disk += std::to_string(i) + "\r\n";
  }
  {
    TextWriter writer;  // closed by its destructor
    ASSERT_TRUE(writer.open(path));
    writer.write(text);
  }
  EXPECT_EQ(test::read_bytes(path), on_disk);
}

TEST(TextWriter, CloseReportsAFailedWrite) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no device that is always full";
  TextWriter writer;
  ASSERT_TRUE(writer.open("/dev/full"));
  writer.write("line\n");
  errno = 0;
  EXPECT_FALSE(writer.close());
  EXPECT_EQ(errno, ENOSPC);
}

}  // namespace
}  // namespace vokt
