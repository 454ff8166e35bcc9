#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "digest/digest.h"
#include "digest/sjis.h"

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

// A set of byte values.
struct ByteSet {
  std::uint64_t words[4] = {};
  constexpr void add(char c) {
    const auto byte = static_cast<unsigned char>(c);
    words[byte >> 6] |= std::uint64_t{1} << (byte & 63);
  }
  constexpr bool has(char c) const {
    const auto byte = static_cast<unsigned char>(c);
    return (words[byte >> 6] >> (byte & 63)) & 1;
  }
  constexpr bool covers(const ByteSet& other) const {
    for (int k = 0; k < 4; ++k) {
      if ((other.words[k] & ~words[k]) != 0) return false;
    }
    return true;
  }
};

constexpr ByteSet byte_set(std::string_view text) {
  ByteSet set;
  for (const char c : text) set.add(c);
  return set;
}

// The bytes of each hand pattern. No replacement holds any of them, so a
// pattern with a byte that the line did not have at the start can match at
// no stage of the table: its search is skipped.
constexpr auto kHandPatternBytes = [] {
  std::array<ByteSet, std::size(kHandTable)> sets{};
  for (std::size_t row = 0; row < std::size(kHandTable); ++row) sets[row] = byte_set(kHandTable[row].pattern);
  return sets;
}();

static_assert([] {
  for (const auto& row : kHandTable) {
    for (const auto& other : kHandTable) {
      for (const char c : row.replacement) {
        if (byte_set(other.pattern).has(c)) return false;
      }
    }
  }
  return true;
}(), "no hand replacement brings in a byte of a hand pattern");

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

// The first occurrence of `pattern` at or after `from`, found through its
// last byte, which in the board table is the rarer one.
std::size_t find_by_last_byte(std::string_view line, std::string_view pattern, std::size_t from) {
  const std::size_t last = pattern.size() - 1;
  for (std::size_t at = from + last; at < line.size();) {
    const void* hit = std::memchr(line.data() + at, pattern[last], line.size() - at);
    if (hit == nullptr) return std::string_view::npos;
    at = static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
    if (line.compare(at - last, last, pattern.substr(0, last)) == 0) return at - last;
    ++at;
  }
  return std::string_view::npos;
}

// True when the line holds one of the board patterns' last bytes (the
// second bytes of 玉, 王 and 竜). A line with none of them matches no row:
// the first row cannot match, so nothing changes, and so on down the table.
// Most rank lines have none. Eight bytes are tested at a time: a byte of w
// equal to b gives a zero byte in w ^ (b repeated), which the usual
// carry test finds (it can mark more bytes, but only when one is zero).
bool holds_board_last_byte(std::string_view line) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t found = 0;
  std::size_t at = 0;
  for (; at + 8 <= line.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, line.data() + at, 8);
    for (const auto& row : kBoardTable) {
      const std::uint64_t t = word ^ (kOnes * static_cast<unsigned char>(row.pattern.back()));
      found |= (t - kOnes) & ~t & kHighs;
    }
  }
  if (found != 0) return true;
  for (; at < line.size(); ++at) {
    for (const auto& row : kBoardTable) {
      if (line[at] == row.pattern.back()) return true;
    }
  }
  return false;
}

}  // namespace

void normalize_board_text(char* text, std::size_t length) {
  const std::string_view line(text, length);
  if (!holds_board_last_byte(line)) return;
  for (const auto& row : kBoardTable) {
    // Each replacement overwrites its pattern: the same as replace_all, as
    // the search goes on after the replacement and never sees it again.
    for (std::size_t found = find_by_last_byte(line, row.pattern, 0); found != std::string_view::npos;
         found = find_by_last_byte(line, row.pattern, found + row.replacement.size())) {
      std::copy(row.replacement.begin(), row.replacement.end(), text + found);
    }
  }
}

void normalize_board_line(std::string& line) { normalize_board_text(line.data(), line.size()); }

void normalize_hand_line(std::string& line) {
  chomp(line);
  const ByteSet present = byte_set(line);
  for (std::size_t row = 0; row < std::size(kHandTable); ++row) {
    if (present.covers(kHandPatternBytes[row])) replace_all(line, kHandTable[row].pattern, kHandTable[row].replacement);
  }
  const std::size_t double_space = line.find("  ");
  if (double_space != std::string::npos) line.resize(double_space);
  if (!line.empty() && line.back() == ' ') line.pop_back();
}

}  // namespace vokt
