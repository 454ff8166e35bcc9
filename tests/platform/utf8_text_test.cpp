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

TEST(Utf8Text, TheUtf8BoardHeaderWithoutTheShiftJisOneCounts) {
  const std::string header = test::from_sjis(sjis::kBoardHeader);
  const std::string split = header.substr(0, 9) + "\r" + header.substr(9);  // "  ９ ８\r ７ ..."
  const std::string near_end = std::string(64 * 1024 - 20, 'a');             // of the first 64 KB read
  test::TempDir dir;
  const auto counts = [&](const std::string& bytes) {
    const FileHandle file(std::fopen(dir.file("f", bytes).c_str(), "rb"));
    ByteSource source(file.get());
    return file && is_utf8_holding(source, sjis::kBoardHeaderUtf8, sjis::kBoardHeader);
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
  EXPECT_FALSE(counts(header + "\n" + std::string(sjis::kBoardHeader)));
  EXPECT_FALSE(counts(std::string(sjis::kBoardHeader) + "\n" + near_end + header));
  EXPECT_TRUE(counts(std::string("\xE3\x81") + header));  // a stray byte does not decide
}

// Each byte that is not part of a UTF-8 character becomes one "?": overlong
// forms, surrogate halves, beyond U+10FFFF, bytes that start no form, a
// continuation byte alone, a sequence cut short (by the next character, by
// the end of the file).
TEST(Utf8Text, StrayBytesBecomeOneQuestionMarkEach) {
  const std::string header = test::from_sjis(sjis::kBoardHeader);
  test::TempDir dir;
  const std::string stray = "caf\xE9 \xC0\x80 \xC1\xBF \xE0\x9F\xBF \xF0\x8F\xBF\xBF \xED\xA0\x80 \xF4\x90\x80\x80 "
                            "\xF5\x80\x80\x80 \xFF \x80 \xE3\x81あ \xE3\x81";
  ProblemFile problem{dir.file("p.kifu", header + "\r\n" + stray), std::nullopt};
  TextReader reader;
  ASSERT_EQ(reader.open(problem, sjis::kBoardHeaderUtf8, sjis::kBoardHeader), 0);
  std::string text;
  std::string_view piece;
  while (reader.read_piece(piece)) text += piece;
  EXPECT_EQ(text, std::string(sjis::kBoardHeader) + "\ncaf? ?? ?? ??? ???? ??? ???? ???? ? ? ??" +
                      test::sjis("あ") + " ??");
}

// A file that starts with a UTF-16 byte-order mark, either way round, is read
// as its UTF-8 form would be; a surrogate half and an odd last byte become "?".
TEST(Utf8Text, Utf16FilesReadAsTheirUtf8Form) {
  using namespace std::string_view_literals;
  EXPECT_EQ(utf8_from_utf16("\xFF\xFE" "a\0\x42\x30\x3D\xD8\x00\xDE\x00\xD8z\0!"sv),
            "\xEF\xBB\xBF" "a\xE3\x81\x82\xF0\x9F\x98\x80?z?");
  EXPECT_EQ(utf8_from_utf16("\xFE\xFF" "\0a\x30\x42\xDC\x00"sv), "\xEF\xBB\xBF" "a\xE3\x81\x82?");
  EXPECT_EQ(utf8_from_utf16("\xEF\xBB\xBF" "a"), std::nullopt);
  test::TempDir dir;
  const std::string utf8 = test::from_sjis(sjis::kBoardHeader) + "\r\nabc\x1A";
  for (const char* code : {"UTF-16LE", "UTF-16BE"}) {
    const std::string mark = code[6] == 'L' ? "\xFF\xFE" : "\xFE\xFF";
    ProblemFile problem{dir.file("p.kif", mark + *test::iconv_text(code, "UTF-8", utf8)), std::nullopt};
    TextReader reader;
    ASSERT_EQ(reader.open(problem, sjis::kBoardHeaderUtf8, sjis::kBoardHeader), 0) << code;
    EXPECT_EQ(problem.held, std::string(sjis::kBoardHeader) + "\r\nabc\x1A") << code;
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
    ASSERT_EQ(reader.open(problem, sjis::kBoardHeaderUtf8, sjis::kBoardHeader), 0);
    std::vector<std::string> pieces;
    std::string_view piece;
    while (reader.read_piece(piece)) pieces.emplace_back(piece);
    const std::string_view body = std::string_view(text).substr(seed % 2 == 0 ? kBom.size() : 0);
    EXPECT_EQ(pieces, test::reference_pieces(test::cp932_as_read(body)));
  }
}

}  // namespace
}  // namespace vokt
