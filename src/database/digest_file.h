// The digest file "vokt.dat": two header lines, one record line per problem
// of the database and a trailer. Build mode writes it in the current
// directory; check mode reads it from the program directory.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "digest/digest.h"

namespace vokt {

class TextReader;
class TextWriter;

inline constexpr const char* kDigestFileName = "vokt.dat";

// A record line: the digest text, a space, then the four fields.
inline constexpr std::size_t kRecordFieldsStart = DigestText{}.size() + 1;

// Reads the next line of a header file and gives it without its line feed
// and its first byte: the header text of the digest file (whose header lines
// start with "#") and of "mirzfile.txt". A missing line gives "".
std::string read_header_text(TextReader& file);

// The part of a record line shown for a match: its fields with the line's own
// line feed; empty when the line is too short to have any.
std::string_view record_fields(std::string_view line);

// Opens a new digest file in the current directory, to be put in place of
// "vokt.dat" by replace_digest_file; `locked`: this run holds the folder's
// lock. Reports a failure, also an existing "vokt.dat" that may not be
// replaced, as "vokt.dat" with the system's text.
bool open_new_digest_file(TextWriter& file, bool locked);

// A header line: "#" and the header text, always with a line end, so the two
// headers and the records never run together.
void write_header_line(TextWriter& file, std::string_view text);
void write_record_line(TextWriter& file, const PositionDigest& digest, std::span<const std::string_view, 4> fields);

// Closes the new digest file and puts it in place of "vokt.dat" in one step,
// so that a failed or killed build never damages the old one. Reports a
// failure and removes the new file.
bool replace_digest_file(TextWriter& file);

}  // namespace vokt
