// Text saved in UTF-8 or UTF-16 converted in its place to code page 932,
// against the plain conversion one character at a time.
#include "report/utf8_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>

#include "digest/sjis.h"
#include "support.h"

namespace vokt {
namespace {

using namespace std::string_view_literals;

std::string converted(std::string_view text) {
  std::string bytes(text);
  EXPECT_TRUE(convert_to_cp932(bytes));
  return bytes;
}

// Each byte that is not part of a UTF-8 character becomes one "?": overlong
// forms, surrogate halves, beyond U+10FFFF, bytes that start no form, a
// continuation byte alone, a sequence cut short (by the next character, by
// the end of the text). A UTF-16 text, either way round, loses its
// byte-order mark; a surrogate pair, a unit that is half of one and an odd
// last byte become "?".
TEST(Utf8Text, StrayBytesAndUtf16BecomeWhatTheyStandFor) {
  const std::pair<std::string_view, std::string> cases[] = {
      {"caf\xE9 \xC0\x80 \xC1\xBF \xE0\x9F\xBF \xF0\x8F\xBF\xBF \xED\xA0\x80 \xF4\x90\x80\x80 \xF5\x80\x80\x80 "
       "\xFF \x80 \xE3\x81\xE3\x81\x82 \xE3\x81",
       test::sjis("caf? ?? ?? ??? ???? ??? ???? ???? ? ? ??あ ??")},
      {"\xEF\xBB\xBF" "a\r\n\xEF\xBB\xBF\xF0\x9F\x98\x80", "a\r\n??"},
      {"\xFF\xFE" "a\0\x42\x30\x3D\xD8\x00\xDE\x00\xD8z\0\r\0\n\0!"sv, test::sjis("aあ??z\r\n?")},
      {"\xFE\xFF" "\xFE\xFF\0a\x30\x42\xDC\x00"sv, test::sjis("?aあ?")},
      {"\xFF\xFE", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(converted(text), expected) << text;
}

// Random texts of characters that shrink, keep or lose their length in code
// page 932, with a byte-order mark at the start and inside, converted in
// pieces that end anywhere, give the plain conversion.
TEST(Utf8Text, LargeTextsGiveThePlainConversion) {
  static constexpr std::string_view kCharacters[] = {
      "a", " ", "\n", "\r\n", "\r", "\0"sv, "・", "玉", "ｱ", "é", "α", "😀", "～", "〜", "‾", "\xEF\xBB\xBF", "\xE3\x81"};
  const std::string header = test::from_sjis(sjis::kBoardHeader);
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937_64 random(seed);
    std::string text(seed % 2 == 0 ? "\xEF\xBB\xBF" : "");
    while (text.size() < 400 * 1024) {
      const std::size_t pick = random() % 100;
      if (pick == 0) {
        for (std::size_t n = 300 + random() % 700; n > 0; --n) text += "あ";
      } else {
        text += pick == 1 ? std::string_view(header) : kCharacters[pick % std::size(kCharacters)];
      }
    }
    std::string_view body = text;
    if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
    const std::string plain = test::cp932_as_read(body), got = converted(text);
    const auto differs = std::mismatch(got.begin(), got.end(), plain.begin(), plain.end()).first;
    EXPECT_TRUE(got == plain) << "differs from byte " << differs - got.begin();
  }
}

// A text made of characters without a code-page-932 form (Hangul, as a
// Korean comment writes it) converts as fast as any other: the system's
// converter once spent seconds on every hundred kilobytes of them, minutes on
// a problem file of the largest size read.
TEST(Utf8Text, CharactersWithoutAFormConvertInBoundedTime) {
  std::string text = test::from_sjis(sjis::kBoardHeader);
  const std::size_t header = text.size();
  while (text.size() < 1024 * 1024) text += "\xEA\xB0\x80";  // U+AC00
  const auto start = std::chrono::steady_clock::now();
  const std::string got = converted(text);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(got, std::string(sjis::kBoardHeader) + std::string((text.size() - header) / 3, '?'));
  EXPECT_LT(took.count(), 2.0);
}

}  // namespace
}  // namespace vokt
