// The problem file as the stages of a check read it: read once, its encoding
// decided from its bytes, converted, and text mode's rules applied.
#include <gtest/gtest.h>

#include <string>

#include "digest/sjis.h"
#include "report/report.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

TEST(ProblemFile, TheEncodingIsDecidedFromTheBytes) {
  const std::string header = test::from_sjis(sjis::kBoardHeader), shift_jis(sjis::kBoardHeader);
  const std::string split = header.substr(0, 9) + "\r" + header.substr(9);  // "  ９ ８\r ７ ..."
  const std::pair<std::string, std::string> cases[] = {  // the file, and the text the stages read
      // UTF-8: converted first, then CRs dropped and the text ended at 0x1A.
      {header + "\r\n\xE3\x81\r\x82\x1A" "after", shift_jis + "\n???"},
      {"\xEF\xBB\xBFx\r\n" + split, "x\n" + shift_jis},
      {" " + header, " " + shift_jis},             // three blanks before the numerals
      {"\xE3\x81" + header, "??" + shift_jis},     // a stray byte does not decide
      {"\xFE\xFF" + *test::iconv_text("UTF-16BE", "UTF-8", header + "\r\n"), shift_jis + "\n"},
      // Not UTF-8: the bytes as they are, but for text mode.
      {"ascii\r\nonly\x1A\r\n", "ascii\nonly"},
      {shift_jis + "\r\n\xE3\x81\x82", shift_jis + "\n\xE3\x81\x82"},
      {header + "\n" + shift_jis, header + "\n" + shift_jis},
      {shift_jis + "\n" + header, shift_jis + "\n" + header},
  };
  test::TempDir dir;
  for (const auto& [bytes, expected] : cases) {
    std::string text;
    EXPECT_EQ(read_problem_file(dir.file("p.kif", bytes), text), 0);
    EXPECT_EQ(text, expected) << bytes;
  }
}

}  // namespace
}  // namespace vokt
