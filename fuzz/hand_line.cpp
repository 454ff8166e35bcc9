// normalize_hand_line and canonical_hand on arbitrary lines.
//
// Properties checked on every input:
// - normalising never makes the line longer, and leaves no double space and
//   no trailing space;
// - the canonical hand is no longer than the normalised line;
// - when the normalised line is a label and well-formed piece tokens, the
//   same tokens in another order give the same canonical hand.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "digest/digest.h"
#include "digest/sjis.h"
#include "fuzz_support.h"

namespace {

// The bytes before the pieces of a normalised hand line ("持駒：").
constexpr std::size_t kLabelLength = 6;

// One piece as a hand line writes it: a symbol (two bytes, or "n" and two),
// then either "∞" or a count of digits, which may be absent.
bool is_piece_token(std::string_view token) {
  if (token.find('\0') != std::string_view::npos) return false;
  const std::size_t symbol = !token.empty() && token[0] == 'n' ? 3 : 2;
  if (token.size() < symbol) return false;
  const std::string_view count = token.substr(symbol);
  return count == vokt::sjis::kInfinity ||
         std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string_view> split_at_spaces(std::string_view text) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t space = text.find(' ', from);
    parts.push_back(text.substr(from, space - from));
    if (space == std::string_view::npos) return parts;
    from = space + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vokt::fuzz::quiet_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string original(reinterpret_cast<const char*>(data), size);
  std::string line = original;
  vokt::normalize_hand_line(line);
  VOKT_FUZZ_CHECK(line.size() <= original.size(), "normalising does not lengthen the line");
  VOKT_FUZZ_CHECK(line.find("  ") == std::string::npos, "no double space after normalising");
  VOKT_FUZZ_CHECK(line.empty() || line.back() != ' ', "no trailing space after normalising");

  const std::string canonical = vokt::canonical_hand(line);
  VOKT_FUZZ_CHECK(canonical.size() <= line.size(), "the canonical hand is no longer than the line");

  if (line.size() <= kLabelLength) return 0;
  const std::string_view label = std::string_view(line).substr(0, kLabelLength);
  std::vector<std::string_view> tokens = split_at_spaces(std::string_view(line).substr(kLabelLength));
  if (tokens.size() < 2 || !std::all_of(tokens.begin(), tokens.end(), is_piece_token)) return 0;

  // Another order of the same tokens, chosen by the input itself.
  std::minstd_rand shuffle_source(static_cast<std::uint32_t>(std::hash<std::string>{}(original)));
  std::shuffle(tokens.begin(), tokens.end(), shuffle_source);
  std::string reordered(label);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i > 0) reordered += ' ';
    reordered += tokens[i];
  }
  VOKT_FUZZ_CHECK(vokt::canonical_hand(reordered) == canonical, "pieces in any order give the same canonical hand");
  return 0;
}
