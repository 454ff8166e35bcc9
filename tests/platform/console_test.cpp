#include <gtest/gtest.h>

#include <string>

#include "platform/console.h"

namespace vokt {
namespace {

TEST(Quoted, ShortPrintableAndWholeCharacters) {
  const std::string a40(40, 'a');
  EXPECT_EQ(vokt::quoted("P1 * x"), "\"P1 * x\"");
  EXPECT_EQ(vokt::quoted(a40), "\"" + a40 + "\"");
  EXPECT_EQ(vokt::quoted(a40 + "b"), "\"" + a40 + "...\"");
  EXPECT_EQ(vokt::quoted("a\tb\x7F\x1A"), "\"a\\x09b\\x7f\\x1a\"");
  // 歩 (95 E0) is shown whole; where it would end past byte 40 it is left out.
  EXPECT_EQ(vokt::quoted("\x95\xE0"), "\"\x95\xE0\"");
  EXPECT_EQ(vokt::quoted(std::string(39, 'a') + "\x95\xE0"), "\"" + std::string(39, 'a') + "...\"");
  EXPECT_EQ(vokt::quoted(std::string(38, 'a') + "\x95\xE0"), "\"" + std::string(38, 'a') + "\x95\xE0\"");
  // A first byte without its second (at the end, or before a byte that
  // cannot follow it) would take the quote mark or the next byte.
  EXPECT_EQ(vokt::quoted("\x82"), "\"\\x82\"");
  EXPECT_EQ(vokt::quoted("\x82\n"), "\"\\x82\\x0a\"");
  EXPECT_EQ(vokt::quoted("\xE0" "1"), "\"\\xe01\"");
  // Single-byte katakana stay as they are.
  EXPECT_EQ(vokt::quoted("\xB1\xB2"), "\"\xB1\xB2\"");
}

}  // namespace
}  // namespace vokt
