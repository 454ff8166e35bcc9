#include <algorithm>
#include <vector>

#include "digest/digest.h"
#include "digest/sjis.h"

namespace vokt {

namespace {

// The label "持駒：" that opens a normalised hand line; skipped unexamined.
constexpr std::size_t kHandLabelLength = 6;

// Splits the hand line into one token per kind of piece: a piece symbol (one
// double-byte character, or "n" and one) followed by "∞" or by its digits.
// Tokens are kept whole whatever their number or length, so no piece of a
// hand is ever left out of the digest.
void hand_tokens(std::string_view line, std::vector<std::string_view>& tokens) {
  tokens.clear();
  std::size_t pos = kHandLabelLength;
  const std::size_t end = line.size();
  while (pos < end) {
    if (line[pos] == ' ') ++pos;
    const std::size_t start = pos;
    const std::size_t remaining = end - pos;
    const std::size_t symbol = remaining > 0 && line[pos] == 'n' ? 3 : 2;
    if (remaining < symbol) {  // a symbol cut short by the end of the line
      if (remaining > 0) tokens.push_back(line.substr(start));
      break;
    }
    pos += symbol;
    if (line.substr(pos, sjis::kInfinity.size()) == sjis::kInfinity) {
      pos += sjis::kInfinity.size();
    } else {
      while (pos < end && line[pos] >= '0' && line[pos] <= '9') ++pos;
      if (end - pos == 1) ++pos;  // a stray last byte joins the last token
    }
    tokens.push_back(line.substr(start, pos - start));
  }
}

}  // namespace

const std::string& canonical_hand(std::string_view hand_line) {
  static std::string result;
  static std::vector<std::string_view> tokens;  // kept from call to call: no allocation per hand
  hand_tokens(hand_line.substr(0, hand_line.find('\0')), tokens);
  // Descending by unsigned byte values; string_view compares bytes as unsigned.
  std::sort(tokens.begin(), tokens.end(), std::greater<>());
  result.clear();
  for (const auto token : tokens) result.append(token);
  return result;
}

}  // namespace vokt
