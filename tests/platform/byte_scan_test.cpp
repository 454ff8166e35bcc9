#include "platform/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vokt {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t npos = std::string_view::npos;

TEST(ByteScan, PlainScannerRules) {
  const ByteScanner plain = byte_scanners().front();
  ASSERT_STREQ(plain.name, "plain");
  EXPECT_EQ(plain.find_text_mode_change(""), npos);
  EXPECT_EQ(plain.find_text_mode_change("a\r\nb\r\n"), npos);  // CR LF is the one change allowed
  EXPECT_EQ(plain.find_text_mode_change("a\r\nb\r"), 4u);      // the follower of a last CR is unknown
  EXPECT_EQ(plain.find_text_mode_change("ab\rc\r\n"), 2u);
  EXPECT_EQ(plain.find_text_mode_change("ab\r\r\n"), 2u);
  EXPECT_EQ(plain.find_text_mode_change("a\r\n\x1A\r"), 3u);
  EXPECT_EQ(plain.find_text_mode_change("a\r\x1A"), 1u);

  EXPECT_EQ(plain.find_either("", "a", "b"), npos);
  EXPECT_EQ(plain.find_either("xxbxxa", "a", "b"), 2u);  // the leftmost of the two
  EXPECT_EQ(plain.find_either("xxabcab", "cab", "ab"), 2u);
  EXPECT_EQ(plain.find_either("xxab", "abc", "abc"), npos);  // cut short by the end
  EXPECT_EQ(plain.find_either("xxabc", "abc", "zz"), 2u);
}

// Every vector scanner of this machine against the plain one, on random
// bytes from a small alphabet so that near misses are frequent, with the
// texts planted at the ends of the 64-byte strides and of the input.
TEST(ByteScan, VectorScannersAgreeWithThePlainOne) {
  const auto scanners = byte_scanners();
  const ByteScanner& plain = scanners.front();
  std::mt19937_64 rng(20261208);
  const auto below = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  static constexpr std::string_view kAlphabet = "ab\r\n\x1A\0z"sv;
  for (int round = 0; round < 4000; ++round) {
    std::string bytes(below(400), 'a');
    for (auto& c : bytes) c = kAlphabet[below(round % 3 == 0 ? kAlphabet.size() : 2)];
    if (round % 2 == 0) {
      for (auto& c : bytes) c = c == '\r' ? 'a' : c;  // mostly clean text with a planted change
      if (!bytes.empty() && below(2) == 0) bytes[below(bytes.size())] = below(2) ? '\r' : '\x1A';
    }
    std::string first(1 + below(round % 5 == 0 ? 40 : 17), 'a');
    std::string second(1 + below(17), 'b');
    for (auto& c : first) c = "ab"[below(2)];
    for (auto& c : second) c = "ab"[below(2)];
    if (!bytes.empty() && below(3) == 0) {
      const std::string& text = below(2) ? first : second;
      const std::size_t at = below(2) ? below(bytes.size()) : (bytes.size() > 70 ? 64 - below(20) : 0);
      bytes.replace(std::min(at, bytes.size()), text.size(), text);
    }
    if (below(4) == 0) second = first;
    for (const auto& scanner : scanners) {
      SCOPED_TRACE(scanner.name);
      ASSERT_EQ(scanner.find_text_mode_change(bytes), plain.find_text_mode_change(bytes)) << round;
      ASSERT_EQ(scanner.find_either(bytes, first, second), plain.find_either(bytes, first, second)) << round;
      ASSERT_EQ(scanner.find_either(bytes, second, first), plain.find_either(bytes, second, first)) << round;
    }
  }
}

TEST(ByteScan, FindsTextsAtTheVeryEndOfLargeInputs) {
  for (const auto& scanner : byte_scanners()) {
    SCOPED_TRACE(scanner.name);
    for (std::size_t size = 100; size < 400; size += 13) {
      std::string bytes(size, 'x');
      bytes.replace(size - 16, 16, "0123456789abcdef");
      EXPECT_EQ(scanner.find_either(bytes, "0123456789abcdef", "fedcba9876543210"), size - 16);
      EXPECT_EQ(scanner.find_either(bytes, "fedcba9876543210", "0123456789abcdef"), size - 16);
      EXPECT_EQ(scanner.find_either(bytes.substr(0, size - 1), "0123456789abcdef", "0123456789abcdef"), npos);
      bytes.back() = '\r';
      EXPECT_EQ(scanner.find_text_mode_change(bytes), size - 1);
    }
  }
}

}  // namespace
}  // namespace vokt
