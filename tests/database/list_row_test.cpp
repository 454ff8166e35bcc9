// The list row cut in one walk, against the searches that its definition
// describes, on random rows made of the tags and the identifier's markup.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "database/database.h"
#include "platform/text_file.h"

namespace vokt {
namespace {

using namespace std::string_view_literals;

constexpr std::size_t npos = std::string_view::npos;

// Each start found from the one before in the uncut row; each text cut at
// the first "</td>" at or after its start, or at the end of the row without
// its line feed.
ListRow reference_cut(std::string_view row) {
  row = c_text(row);
  const std::size_t row_end = !row.empty() && row.back() == '\n' ? row.size() - 1 : row.size();
  std::size_t starts[5];
  const std::size_t cell = row.find("<td>");
  starts[0] = cell == npos ? npos : std::min(cell + 47, row.size());
  std::size_t from = starts[0] == npos ? 0 : starts[0];
  for (int field = 1; field <= 4; ++field) {
    const std::size_t open = from == npos ? npos : row.find("<td nowrap>", from);
    starts[field] = open == npos ? npos : open + 11;
    from = starts[field];
  }
  std::string_view texts[5];
  for (int i = 0; i < 5; ++i) {
    if (starts[i] == npos || starts[i] >= row_end) continue;
    texts[i] = row.substr(starts[i], std::min(row.find("</td>", starts[i]), row_end) - starts[i]);
  }
  const bool is_row = row.find("<td nowrap>") != npos && row.find("class=") == npos;
  return ListRow{texts[0], {texts[1], texts[2], texts[3], texts[4]}, is_row};
}

TEST(ListRow, OneWalkCutsAsTheSearches) {
  const std::vector<std::string_view> pieces = {
      "<td>"sv, "<td nowrap>"sv, "</td>"sv, "<i>"sv, "</i>"sv, "<"sv, "a b"sv, "x"sv, "\n"sv, "\0"sv,
      "class="sv, "<tr>"sv, "<td nowrap"sv, "</td"sv, "<a name=\"r00001\"></a><font color=\"#000080\">"sv};
  std::mt19937_64 rng(20261211);
  for (int round = 0; round < 30000; ++round) {
    std::string row;
    for (std::size_t n = rng() % 24; n > 0; --n) row += pieces[rng() % pieces.size()];
    const ListRow got = parse_list_row(row);
    const ListRow expected = reference_cut(row);
    ASSERT_EQ(got.is_row, expected.is_row) << round;
    ASSERT_EQ(got.identifier, expected.identifier) << round;
    for (int i = 0; i < 4; ++i) ASSERT_EQ(got.fields[i], expected.fields[i]) << round << " field " << i;
  }
}

}  // namespace
}  // namespace vokt
