#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>

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
static_assert(std::ranges::all_of(kBoardTable,
                                  [](const Substitution& row) { return row.pattern.size() == row.replacement.size(); }),
              "board replacements keep the length of the line");

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

// The first rows delete, and a deletion joins the bytes around it, which may
// then form a later row's pattern: each of them is applied on its own.
constexpr std::size_t kDeletions = 4;

// The later rows are applied in one pass, at each place the first row whose
// pattern stands there. That gives what they give one by one, for their
// replacements are not empty and hold no byte of any pattern (so no pattern
// can be formed across one), and where two of their patterns can overlap one
// lies inside the other and comes later in the table (十 and the 二 in 十二).
static_assert(std::ranges::all_of(kHandTable, [](const Substitution& row) {
  return std::ranges::none_of(kHandTable, [&](const Substitution& other) {
    return row.replacement.find_first_of(other.pattern) != std::string_view::npos;
  }) && row.pattern.find('\0') == std::string_view::npos && row.pattern.size() <= 4;
}), "no hand replacement brings in a byte of a hand pattern; patterns are NUL-free and at most 4 bytes");

// kHandRows[k][b]: the rows (bits in table order) whose pattern has byte b at
// place k or is shorter; a pattern stands where its row is in all four for
// the bytes there. No pattern holds a NUL: it stands for a place past the end.
constexpr auto kHandRows = [] {
  std::array<std::array<std::uint32_t, 256>, 4> rows{};
  for (std::size_t row = 0; row < std::size(kHandTable); ++row) {
    const std::string_view pattern = kHandTable[row].pattern;
    for (std::size_t k = 0; k < 4; ++k) {
      for (std::size_t b = 0; b < 256; ++b) {
        if (k >= pattern.size() || static_cast<unsigned char>(pattern[k]) == b) rows[k][b] |= std::uint32_t{1} << row;
      }
    }
  }
  return rows;
}();

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
  // Written from the line as it was into a buffer kept from call to call (no
  // allocation per line), then swapped in.
  static std::string result;
  result.clear();
  std::size_t from = 0;
  for (; found != std::string::npos; found = line.find(pattern, from)) {
    result.append(line, from, found - from).append(replacement);
    from = found + pattern.size();
  }
  result.append(line, from);
  line.swap(result);
}

namespace {

// Replaces the board pattern that ends at `at`, if one does.
void replace_board_pattern_ending_at(char* text, std::size_t at) {
  for (const auto& [pattern, replacement] : kBoardTable) {
    if (at + 1 < pattern.size()) continue;
    char* const start = text + at + 1 - pattern.size();
    if (std::string_view(start, pattern.size()) == pattern) std::copy(replacement.begin(), replacement.end(), start);
  }
}

}  // namespace

// No two occurrences of the board patterns overlap, and no replacement forms
// or breaks an occurrence of any row with the bytes around it (the patterns
// and replacements share no byte at any overlapping offset). So the table
// applied row by row replaces exactly the occurrences that the line held at
// the start, and replacing each occurrence where its last byte stands, in any
// order, does the same; a replaced occurrence ends in no pattern.
void normalize_board_text(char* text, std::size_t length) {
  std::string_view bytes(text, length);
  for (std::size_t chunk = 0; chunk < bytes.size(); chunk += 32) {
    std::uint32_t marks = byte_marks(bytes.substr(chunk), kBoardTable[0].pattern.back(), kBoardTable[1].pattern.back(),
                                     kBoardTable[2].pattern.back());
    if (marks == 0) continue;
    // The text ends at a NUL, which no pattern holds: it is looked for only
    // where a pattern may end, which most rank lines never reach.
    bytes = bytes.substr(0, bytes.find('\0'));
    for (; marks != 0; marks &= marks - 1) {
      const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(marks));
      if (at < bytes.size()) replace_board_pattern_ending_at(text, at);
    }
  }
}

void normalize_board_line(std::string& line) { normalize_board_text(line.data(), line.size()); }

void normalize_hand_line(std::string& line) {
  chomp(line);
  // The usual line, "先手の持駒：" and no deleting pattern after it, loses only the label's 先手 and の:
  // no byte of the rest of the label starts a pattern, so the pass below goes on from there as from a start.
  const auto deletions = std::span(kHandTable).first(kDeletions);
  const auto later = [&](const auto& row) { return line.find(row.pattern, sjis::kFirstHandLabel.size()) != line.npos; };
  const bool usual = line.starts_with(sjis::kFirstHandLabel) && std::ranges::none_of(deletions, later);
  if (!usual) {
    for (const auto& [from, to] : deletions) replace_all(line, from, to);
  }
  // In place: no replacement is longer than its pattern. The text written
  // is final, so the first double space ends the pass.
  std::size_t out = 0;
  for (std::size_t at = usual ? sjis::kSente.size() + sjis::kNo.size() : 0; at < line.size();) {
    std::uint32_t match = kHandRows[0][static_cast<unsigned char>(line[at])] >> kDeletions << kDeletions;
    for (std::size_t k = 1; k < 4 && match != 0; ++k) {
      match &= kHandRows[k][at + k < line.size() ? static_cast<unsigned char>(line[at + k]) : 0];
    }
    if (match == 0) {
      line[out++] = line[at++];
    } else {
      const auto [pattern, replacement] = kHandTable[std::countr_zero(match)];
      std::copy(replacement.begin(), replacement.end(), line.begin() + static_cast<std::ptrdiff_t>(out));
      out += replacement.size();
      at += pattern.size();
    }
    if (out >= 2 && line[out - 1] == ' ' && line[out - 2] == ' ') break;
  }
  // The line is cut at its double space, or loses its one last space.
  while (out > 0 && line[out - 1] == ' ') --out;
  line.resize(out);
}

}  // namespace vokt
