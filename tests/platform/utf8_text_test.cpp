// Problem files saved in UTF-8: which files count as such, and the chunked
// conversion of large ones against the plain conversion one character at a
// time.
#include "platform/utf8_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "digest/sjis.h"
#include "nasty_text.h"
#include "platform/text_file.h"
#include "support.h"

namespace vokt {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

TEST(Utf8Text, OnlyValidUtf8HoldingTheBoardHeaderCounts) {
  const std::string header = test::from_sjis(sjis::kBoardHeader);
  const std::string split = header.substr(0, 9) + "\r" + header.substr(9);  // "  ９ ８\r ７ ..."
  const std::string near_end = std::string(64 * 1024 - 20, 'a');             // of the first 64 KB read
  test::TempDir dir;
  const auto counts = [&](const std::string& bytes) {
    const FileHandle file(std::fopen(dir.file("f", bytes).c_str(), "rb"));
    ByteSource source(file.get());
    return file && is_utf8_holding(source, sjis::kBoardHeaderUtf8);
  };
  // Text mode drops the CR; a character may come in two reads; the last of
  // each length of UTF-8 and the first after the surrogates count.
  for (const std::string& bytes : {header, std::string(kBom) + "x\r\n" + split, near_end + header, near_end + split,
                                   std::string(64 * 1024 - 1, 'a') + "あ" + header,
                                   std::string(64 * 1024 + 1 - header.size(), 'a') + header,  // one byte in the second
                                   header + "\u007F\u07FF\uD7FF\uE000\uFFFF\U0010FFFF"}) {
    EXPECT_TRUE(counts(bytes)) << bytes.substr(0, 60);
  }
  EXPECT_FALSE(counts("ascii only\n"));
  EXPECT_FALSE(counts(std::string(sjis::kBoardHeader)));
  EXPECT_FALSE(counts(std::string("\xE3\x81") + header));
  // Overlong forms, surrogate halves, beyond U+10FFFF, bytes that start no
  // form, a continuation byte alone, a sequence cut short by the end.
  for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "\xF5\x80\x80\x80", "\xFF", "\x80", "\xE3\x81"}) {
    EXPECT_FALSE(counts(header + bad)) << bad;
  }
}

// Random files of characters that shrink, keep or lose their length in code
// page 932, lines longer than a piece, stray CRs and NULs, a byte-order mark
// at the start and inside, read with the block and chunk ends falling anywhere.
TEST(Utf8Text, LargeFilesGiveThePiecesOfThePlainConversion) {
  static constexpr std::string_view kCharacters[] = {
      "a", " ", "\n", "\r\n", "\r", std::string_view("\0", 1), "・", "玉", "ｱ", "é", "α", "😀", "〜", kBom};
  const std::string header = test::from_sjis(sjis::kBoardHeader);
  test::TempDir dir;
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    std::string text(seed % 2 == 0 ? kBom : "");
    while (text.size() < 400 * 1024) {
      const std::size_t pick = random() % 100;
      if (pick == 0) {
        for (std::size_t n = 300 + random() % 700; n > 0; --n) text += "あ";
      } else {
        text += pick == 1 ? std::string_view(header) : kCharacters[pick % std::size(kCharacters)];
      }
    }
    if (seed == 3) text.insert(text.size() - 5000, 1, '\x1A');
    TextReader reader;
    ProblemFile problem{dir.file("p.kifu", text), std::nullopt};
    ASSERT_EQ(reader.open(problem, sjis::kBoardHeaderUtf8), 0);
    std::vector<std::string> pieces;
    std::string_view piece;
    while (reader.read_piece(piece)) pieces.emplace_back(piece);
    const std::string_view body = std::string_view(text).substr(seed % 2 == 0 ? kBom.size() : 0);
    EXPECT_EQ(pieces, test::reference_pieces(test::cp932_as_read(body)));
  }
}

}  // namespace
}  // namespace vokt
