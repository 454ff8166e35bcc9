#include "platform/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vokt {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t npos = std::string_view::npos;

// The rules, for both the plain and the compiled form.
TEST(ByteScan, Rules) {
  const struct {
    std::string_view bytes;
    std::size_t change;
  } text_mode[] = {
      {"", npos},
      {"a\r\nb\r\n", npos},  // CR LF is the one change allowed
      {"a\r\nb\r", 4},       // the follower of a last CR is unknown
      {"ab\rc\r\n", 2},
      {"ab\r\r\n", 2},
      {"a\r\n\x1A\r", 3},
      {"a\r\x1A", 1},
  };
  const struct {
    std::string_view haystack, first, second;
    std::size_t found;
  } either[] = {
      {"", "a", "b", npos},
      {"xxbxxa", "a", "b", 2},  // the leftmost of the two
      {"xxabcab", "cab", "ab", 2},
      {"xxab", "abc", "abc", npos},  // cut short by the end
      {"xxabc", "abc", "zz", 2},
  };
  for (const auto& c : text_mode) {
    EXPECT_EQ(plain_text_mode_change(c.bytes), c.change) << c.bytes;
    EXPECT_EQ(find_text_mode_change(c.bytes), c.change) << c.bytes;
  }
  for (const auto& c : either) {
    EXPECT_EQ(plain_find_either(c.haystack, c.first, c.second), c.found) << c.haystack;
    EXPECT_EQ(find_either(c.haystack, c.first, c.second), c.found) << c.haystack;
  }
  // One pass for both: only a text before the change counts.
  const struct {
    std::string_view bytes;
    std::size_t change, hit;
  } scans[] = {
      {"xxab\r\n", npos, 2},
      {"xxab\rab", 4, 2},
      {"xx\rab", 2, npos},     // after the change the text is read translated
      {"a\r\nb\x1A", 4, npos},
      {"", npos, npos},
  };
  for (const auto& c : scans) {
    for (const TextScan got : {plain_scan_text(c.bytes, "ab", "zz"), scan_text(c.bytes, "ab", "zz")}) {
      EXPECT_EQ(got.change, c.change) << c.bytes;
      EXPECT_EQ(got.hit, c.hit) << c.bytes;
    }
  }
  // The places of three bytes among the first 32, on both sides of 16.
  EXPECT_EQ(byte_marks("0123456789abcdefz", 'x', 'y', 'z'), 1u << 16);
  EXPECT_EQ(byte_marks("0123456789abcdefz", 'x', 'y', 'w'), 0u);
  EXPECT_EQ(byte_marks("xw", 'x', 'y', 'w'), 3u);
  EXPECT_EQ(byte_marks("x-------------------------------x", 'x', 'x', 'x'), 1u);
}

// The compiled form against the plain one, on random bytes from a small
// alphabet so that near misses are frequent, with the texts planted at the
// ends of the 64-byte strides and of the input.
TEST(ByteScan, CompiledFormAgreesWithThePlainOne) {
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
    ASSERT_EQ(find_text_mode_change(bytes), plain_text_mode_change(bytes)) << round;
    ASSERT_EQ(find_either(bytes, first, second), plain_find_either(bytes, first, second)) << round;
    ASSERT_EQ(find_either(bytes, second, first), plain_find_either(bytes, second, first)) << round;
    const TextScan scan = scan_text(bytes, first, second);
    const TextScan plain = plain_scan_text(bytes, first, second);
    ASSERT_EQ(scan.change, plain.change) << round;
    ASSERT_EQ(scan.hit, plain.hit) << round;
    const std::size_t at = bytes.empty() ? 0 : below(bytes.size());
    ASSERT_EQ(byte_marks(std::string_view(bytes).substr(at), 'z', '\x1A', '\r'),
              plain_byte_marks(std::string_view(bytes).substr(at), 'z', '\x1A', '\r'))
        << round;
  }
}

TEST(ByteScan, FindsTextsAtTheVeryEndOfLargeInputs) {
  for (std::size_t size = 100; size < 400; size += 13) {
    std::string bytes(size, 'x');
    bytes.replace(size - 16, 16, "0123456789abcdef");
    EXPECT_EQ(find_either(bytes, "0123456789abcdef", "fedcba9876543210"), size - 16);
    EXPECT_EQ(find_either(bytes, "fedcba9876543210", "0123456789abcdef"), size - 16);
    EXPECT_EQ(find_either(bytes.substr(0, size - 1), "0123456789abcdef", "0123456789abcdef"), npos);
    bytes.back() = '\r';
    EXPECT_EQ(find_text_mode_change(bytes), size - 1);
  }
}

}  // namespace
}  // namespace vokt
