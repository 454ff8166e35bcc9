#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "digest/digest.h"
#include "digest/sjis.h"
#include "platform/byte_scan.h"

namespace vokt {

namespace {

struct Substitution {
  std::string_view pattern;
  std::string_view replacement;
};

constexpr Substitution kBoardTable[] = {
    {sjis::kSpaceGyoku, sjis::kSpaceOu},
    {sjis::kVOu, sjis::kVGyoku},
    {sjis::kRyuSimple, sjis::kRyu},
};
static_assert([] {
  for (const auto& row : kBoardTable) {
    if (row.pattern.size() != row.replacement.size()) return false;
  }
  return true;
}(), "board replacements keep the length of the line");

// Order matters: the two-character numerals before the lone 十, and 十
// before the single digits.
constexpr Substitution kHandTable[] = {
    {sjis::kBoth, ""},       {sjis::kSente, ""},     {sjis::kShitate, ""},   {sjis::kNo, ""},
    {sjis::kIdeographicSpace, " "},
    {sjis::kJu18, "18"},     {sjis::kJu17, "17"},    {sjis::kJu16, "16"},    {sjis::kJu15, "15"},
    {sjis::kJu14, "14"},     {sjis::kJu13, "13"},    {sjis::kJu12, "12"},    {sjis::kJu12Kana, "12"},
    {sjis::kJu11, "11"},     {sjis::kJu, "10"},
    {sjis::kKyu, "9"},       {sjis::kHachi, "8"},    {sjis::kNana, "7"},     {sjis::kRoku, "6"},
    {sjis::kGo, "5"},        {sjis::kYon, "4"},      {sjis::kSan, "3"},      {sjis::kNi, "2"},
    {sjis::kNiKana, "2"},
};

// No hand replacement holds a byte of any hand pattern, so a pattern with a
// byte that the line did not have at the start can match at no stage of the
// table: its search is skipped. The first and the last byte of each pattern
// are looked at, which rules out nearly every row that cannot match.
constexpr bool replacements_bring_no_pattern_byte() {
  for (const auto& row : kHandTable) {
    for (const auto& other : kHandTable) {
      if (row.replacement.find_first_of(other.pattern) != std::string_view::npos) return false;
    }
  }
  return true;
}
static_assert(replacements_bring_no_pattern_byte(), "no hand replacement brings in a byte of a hand pattern");

}  // namespace

std::size_t chomp(std::string& line) {
  const std::size_t length = line.size();
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return length;
}

void replace_all(std::string& line, std::string_view pattern, std::string_view replacement) {
  if (pattern.empty()) return;
  std::size_t found = line.find(pattern);
  if (found == std::string::npos) return;
  if (replacement.size() <= pattern.size()) {
    // In place: the text written never gets ahead of the text still to be
    // searched, which stays as it was.
    std::size_t out = found;
    std::size_t from = found;
    while (found != std::string::npos) {
      std::copy(line.begin() + static_cast<std::ptrdiff_t>(from), line.begin() + static_cast<std::ptrdiff_t>(found),
                line.begin() + static_cast<std::ptrdiff_t>(out));
      out += found - from;
      std::copy(replacement.begin(), replacement.end(), line.begin() + static_cast<std::ptrdiff_t>(out));
      out += replacement.size();
      from = found + pattern.size();
      found = line.find(pattern, from);
    }
    std::copy(line.begin() + static_cast<std::ptrdiff_t>(from), line.end(), line.begin() + static_cast<std::ptrdiff_t>(out));
    line.resize(out + (line.size() - from));
    return;
  }
  std::string result;
  result.reserve(line.size());
  std::size_t from = 0;
  while (found != std::string::npos) {
    result.append(line, from, found - from);
    result.append(replacement);
    from = found + pattern.size();
    found = line.find(pattern, from);
  }
  result.append(line, from, std::string::npos);
  line.swap(result);
}

namespace {

// kBoardRowEndingIn[b]: 1 + the row of the board table whose pattern ends in
// the byte b; 0 for none. The three last bytes differ.
constexpr auto kBoardRowEndingIn = [] {
  std::array<unsigned char, 256> rows{};
  for (std::size_t row = 0; row < std::size(kBoardTable); ++row) {
    rows[static_cast<unsigned char>(kBoardTable[row].pattern.back())] = static_cast<unsigned char>(row + 1);
  }
  return rows;
}();

// The bytes of the eight at `text` that may be the last byte of a board
// pattern (the second bytes of 玉, 王 and 竜), as bits 8k + 7 for byte k of
// the word. A byte of w equal to b gives a zero byte in w ^ (b repeated),
// which the usual carry test finds; it can mark more bytes, but only after
// one that is zero, so every mark is looked at again.
std::uint64_t board_last_bytes(const char* text) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t word;
  std::memcpy(&word, text, 8);
  std::uint64_t found = 0;
  for (const auto& row : kBoardTable) {
    const std::uint64_t t = word ^ (kOnes * static_cast<unsigned char>(row.pattern.back()));
    found |= (t - kOnes) & ~t & kHighs;
  }
  return found;
}

// Replaces the board pattern that ends at `at`, if one does.
void replace_board_pattern_ending_at(char* text, std::size_t at) {
  const unsigned row = kBoardRowEndingIn[static_cast<unsigned char>(text[at])];
  if (row == 0) return;
  const auto [pattern, replacement] = kBoardTable[row - 1];
  if (at + 1 < pattern.size()) return;
  char* const start = text + at + 1 - pattern.size();
  if (std::string_view(start, pattern.size()) == pattern) std::copy(replacement.begin(), replacement.end(), start);
}

}  // namespace

// No two occurrences of the board patterns overlap, and no replacement forms
// or breaks an occurrence of any row with the bytes around it (the patterns
// and replacements share no byte at any overlapping offset). So the table
// applied row by row replaces exactly the occurrences that the line held at
// the start, and replacing each occurrence where its last byte stands, in any
// order, does the same; a replaced occurrence ends in no pattern.
void normalize_board_text(char* text, std::size_t length) {
  // Most rank lines have none of the three last bytes.
  if (!holds_any_of(std::string_view(text, length), kBoardTable[0].pattern.back(), kBoardTable[1].pattern.back(),
                    kBoardTable[2].pattern.back())) {
    return;
  }
  if (length < 8) {
    for (std::size_t at = 0; at < length; ++at) replace_board_pattern_ending_at(text, at);
    return;
  }
  // Eight bytes at a time, the last eight overlapping the ones before.
  for (std::size_t word_at = 0; word_at < length; word_at += 8) {
    word_at = std::min(word_at, length - 8);
    for (std::uint64_t found = board_last_bytes(text + word_at); found != 0; found &= found - 1) {
      const auto bit = static_cast<std::size_t>(std::countr_zero(found));
      const std::size_t byte = std::endian::native == std::endian::little ? bit / 8 : 7 - bit / 8;
      replace_board_pattern_ending_at(text, word_at + byte);
    }
  }
}

void normalize_board_line(std::string& line) { normalize_board_text(line.data(), line.size()); }

void normalize_hand_line(std::string& line) {
  chomp(line);
  std::array<bool, 256> present{};
  for (const char c : line) present[static_cast<unsigned char>(c)] = true;
  const auto has = [&present](char c) { return present[static_cast<unsigned char>(c)]; };
  for (const auto& row : kHandTable) {
    if (has(row.pattern.front()) && has(row.pattern.back())) replace_all(line, row.pattern, row.replacement);
  }
  const std::size_t double_space = line.find("  ");
  if (double_space != std::string::npos) line.resize(double_space);
  if (!line.empty() && line.back() == ' ') line.pop_back();
}

}  // namespace vokt
