// The lookup of a problem in the digest file, the three report pages of a
// check run and the opening of the report in the browser.
#pragma once

#include <string>
#include <string_view>

#include "digest/digest.h"

namespace vokt {

class TextReader;
class TextWriter;
struct ProblemFile;

// Opens the problem file as check mode reads it (see TextReader); a failure
// is reported with the file's name.
bool open_problem_file(TextReader& problem_file, ProblemFile& problem);

// Finds the first diagram of the problem file and computes both digests. A
// file without one that holds a position written as CSA or SFEN is read as
// the diagram of that position (kept in `problem` for the key page).
int digest_problem_file(ProblemFile& problem, PositionDigest& direct, PositionDigest& mirrored);

// The pages are written by the three stages below to `page`, each to its new
// file, and put in place together by put_page_in_place() once all are
// complete; `locked`: the run holds the lock of `dir`. A stage that fails
// reports it and drops its page.

// Writes "voktdata.htm" in `dir` with every line of "vokt.dat" (in `dir`) that
// carries either digest, and the count.
int write_result_page(std::string_view dir, const PositionDigest& direct, const PositionDigest& mirrored,
                      bool locked, TextWriter& page);

// Scans the rest of the open digest file and writes the match lines and the
// count line to the open page.
void list_matches(TextReader& digest_file, TextWriter& page, const PositionDigest& direct,
                  const PositionDigest& mirrored);

// Writes "voktkey.htm" in `dir` with the problem's normalised diagram.
int write_key_page(std::string_view dir, ProblemFile& problem, bool locked, TextWriter& page);

// Copies the diagram block of the open problem file into the open page.
void copy_diagram(TextWriter& page, TextReader& problem_file);

// Writes the frame page "vokt.htm" in `dir`.
int write_frame_page(std::string_view dir, bool locked, TextWriter& page);

// Puts the page `name`, written by one of the stages above, in its place.
// Reports a failure with the page's name. Returns 0 or 1.
int put_page_in_place(TextWriter& page, const char* name);

// Opens "vokt.htm" in `dir` with the user's browser; the outcome is only
// informative.
int open_in_browser(std::string_view dir);

}  // namespace vokt
