// The lookup of a problem in the digest file, the three report pages of a
// check run and the opening of the report in the browser.
#pragma once

#include <string>
#include <string_view>

#include "digest/digest.h"

namespace vokt {

class TextReader;
class TextWriter;

// Reads the problem file `path` (at most 16 MB) once, whole, into `text`, as
// the stages of a check read it: UTF-16 (by its byte-order mark) or UTF-8
// (holding the board header line in UTF-8, not in Shift-JIS) as its
// code-page-932 text, all as text mode reads it, and a position written as
// CSA or SFEN as its diagram block. 0, or 1 with the failure reported.
int read_problem_file(const std::string& path, std::string& text);

// Finds the first diagram of the problem's text and computes both digests.
int digest_problem_file(std::string_view problem_text, PositionDigest& direct, PositionDigest& mirrored);

// The three stages below write their page to its new file, put in place
// (TextWriter::put_in_place) once the stages have run; `locked`: the run holds
// the lock of `dir`. A stage that fails reports it and drops its page, but
// for the result page of a lookup without a digest file, which stays empty.

// Writes "voktdata.htm" in `dir` with every line of "vokt.dat" (in `dir`) that
// carries either digest, and the count.
int write_result_page(std::string_view dir, const PositionDigest& direct, const PositionDigest& mirrored,
                      bool locked, TextWriter& page);

// Scans the rest of the open digest file and writes the match lines and the
// count line to the open page.
void list_matches(TextReader& digest_file, TextWriter& page, const PositionDigest& direct,
                  const PositionDigest& mirrored);

// Writes "voktkey.htm" in `dir` with the problem's normalised diagram.
int write_key_page(std::string_view dir, std::string_view problem_text, bool locked, TextWriter& page);

// Writes the frame page "vokt.htm" in `dir`.
int write_frame_page(std::string_view dir, bool locked, TextWriter& page);

// Opens "vokt.htm" in `dir` in the user's browser; the outcome is informative.
int open_in_browser(std::string_view dir);

}  // namespace vokt
