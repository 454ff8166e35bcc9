// parse_list_row on arbitrary rows.
//
// Properties checked on every input:
// - every text cut out lies inside the row, before its first NUL byte, and
//   holds no "</td>" and not the line feed that ends the row;
// - the identifier and the four fields start in row order;
// - the row with a line feed added gives the same texts (the line feed that
//   ends a row is never part of a cell).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "database/database.h"
#include "fuzz_support.h"
#include "platform/text_file.h"

namespace {

// The engine's input buffer is exactly as long as the row, so any read past
// its end is caught by the address sanitizer.
void check_texts(std::string_view row, const vokt::ListRow& parsed) {
  const std::string_view visible = vokt::c_text(row);
  const std::string_view texts[] = {parsed.identifier, parsed.fields[0], parsed.fields[1], parsed.fields[2],
                                    parsed.fields[3]};
  const char* previous_start = visible.data();
  for (const auto text : texts) {
    if (text.empty()) continue;
    VOKT_FUZZ_CHECK(text.data() >= visible.data() && text.data() + text.size() <= visible.data() + visible.size(),
                    "a cell text lies inside the row");
    VOKT_FUZZ_CHECK(text.find("</td>") == std::string_view::npos, "a cell text ends before its closing tag");
    VOKT_FUZZ_CHECK(visible.empty() || visible.back() != '\n' ||
                        text.data() + text.size() < visible.data() + visible.size(),
                    "the row's closing line feed is not part of a cell");
    VOKT_FUZZ_CHECK(text.data() >= previous_start, "cells come in row order");
    previous_start = text.data();
  }
}

bool same_texts(const vokt::ListRow& a, const vokt::ListRow& b) {
  if (a.identifier != b.identifier) return false;
  for (int i = 0; i < 4; ++i) {
    if (a.fields[i] != b.fields[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vokt::fuzz::quiet_console();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view row(reinterpret_cast<const char*>(data), size);
  const vokt::ListRow parsed = vokt::parse_list_row(row);
  check_texts(row, parsed);

  if (row.empty() || row.back() != '\n') {
    const std::string with_line_feed = std::string(row) + '\n';
    const vokt::ListRow again = vokt::parse_list_row(with_line_feed);
    check_texts(with_line_feed, again);
    VOKT_FUZZ_CHECK(same_texts(parsed, again), "a line feed at the end of the row changes no cell");
  }
  return 0;
}
