// The build of the digest file "vokt.dat" from the three export files of the
// problem database's search tool.
#pragma once

#include <string_view>

#include "digest/digest.h"

namespace vokt {

// The texts cut out of one list row: the record identifier (cell one) and the
// four descriptive fields (cells two to five). Missing cells give empty texts.
struct ListRow {
  std::string_view identifier;
  std::string_view fields[4];
  bool is_row = false;  // the line holds "<td nowrap>" and not "class="
};

// Cuts the identifier and the four field texts out of the list page line
// `row` (views into it), and tells whether the line is a list row.
ListRow parse_list_row(std::string_view row);

// Rebuilds "vokt.dat" in the current directory from "mirzfile.txt",
// "mirzlist.htm" and "mirzdata.htm". Returns 0 on success, 1 on failure.
int build_digest_file();

}  // namespace vokt
