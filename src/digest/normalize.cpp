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

void normalize_board_line(std::string& line) {
  for (const auto& row : kBoardTable) replace_all(line, row.pattern, row.replacement);
}

void normalize_hand_line(std::string& line) {
  chomp(line);
  for (const auto& row : kHandTable) replace_all(line, row.pattern, row.replacement);
  const std::size_t double_space = line.find("  ");
  if (double_space != std::string::npos) line.resize(double_space);
  if (!line.empty() && line.back() == ' ') line.pop_back();
}

}  // namespace vokt
