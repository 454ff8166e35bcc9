#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "digest/digest.h"
#include "support.h"

namespace vokt {
namespace {

using test::sjis;

// canonical_hand of exactly these bytes, in a buffer of their size so that
// the sanitizer sees any read past the end of the line.
std::string canonical(std::string_view bytes) {
  const std::vector<char> exact(bytes.begin(), bytes.end());
  return canonical_hand(std::string_view(exact.data(), exact.size()));
}

TEST(CanonicalHand, TokensSortedDescendingByUnsignedBytes) {
  std::string many = sjis("持駒："), many_sorted;
  for (int i = 0; i < 80; ++i) many += sjis(" 歩1"), many_sorted += sjis("歩1");
  many.erase(6, 1);  // no space right after the label
  const std::pair<std::string, std::string> cases[] = {
      {sjis("持駒：角 飛 歩12 金2"), sjis("歩12飛金2角")},
      {sjis("持駒：角 飛"), sjis("飛角")},
      {sjis("持駒：なし"), sjis("なし")},
      {sjis("持駒：歩2 歩∞"), sjis("歩∞歩2")},
      {sjis("持駒：n歩2 飛"), sjis("飛n歩2")},          // "n" and a character form one symbol
      {sjis("後手持駒：角 歩2"), sjis("歩2駒角：")},     // read from the seventh byte on
      {sjis("持駒：金∞12 角"), sjis("金∞角12")},        // digits after ∞ are a token of their own
      {sjis("持駒：角 飛X"), sjis("飛X角")},             // a stray last byte joins the last token
      {sjis("持駒：飛 ") + "X", sjis("飛X")},
      {sjis("持駒：飛 ") + "\x95", std::string(1, '\x95').append(sjis("飛"))},  // a cut symbol
      {sjis("持駒：歩∞") + "X", sjis("歩∞X")},
      {sjis("持駒：飛 ") + "n\x95", sjis("飛") + "n\x95"},
      {sjis("持駒：飛 歩1234567890123456789"), sjis("歩1234567890123456789飛")},
      {many, many_sorted},
      {sjis("持駒："), ""},
      {"", ""},
      {sjis("持駒"), ""},
      {"\x8E", ""},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(canonical(line), expected) << line;
}

}  // namespace
}  // namespace vokt
