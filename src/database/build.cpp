#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "database/database.h"
#include "digest/sjis.h"
#include "platform/system.h"
#include "platform/text_file.h"

namespace vokt {

namespace {

constexpr const char* kHeaderFile = "mirzfile.txt";
constexpr const char* kListFile = "mirzlist.htm";
constexpr const char* kDataFile = "mirzdata.htm";
constexpr const char* kDigestFile = "vokt.dat";
// The new digest file is written here and renamed over "vokt.dat" only when
// it is complete, so a failed or killed build never damages the old one.
constexpr const char* kDigestTempFile = "vokt.dat.new";

constexpr std::string_view kCellOpen = "<td>";
constexpr std::string_view kFieldOpen = "<td nowrap>";
constexpr std::string_view kCellClose = "</td>";
constexpr std::string_view kNotARow = "class=";
constexpr std::string_view kRecordSeparator = "><hr></a>";
constexpr std::string_view kRecordOpen = "[";
// Bytes after "<td>" of the opening markup of the identifier cell, skipped
// unexamined.
constexpr std::size_t kIdentifierMarkup = 43;

// True for a list page line that holds one problem's row.
bool is_list_row(std::string_view line) {
  return line.find(kFieldOpen) != std::string_view::npos && line.find(kNotARow) == std::string_view::npos;
}

// True for the data page line "[xxxxx]" that opens a record.
bool is_record_header(std::string_view line) { return line.size() >= 7 && line[0] == '[' && line[6] == ']'; }

// Writes one header line of the digest file: "#", the source line from its
// second byte on, and always a line end, so the two headers and the records
// can never run together.
void write_header(TextWriter& digest_file, TextReader& header_file) {
  std::string text = "#";
  text += read_header_text(header_file);
  text += '\n';
  digest_file.write(text);
}

// Opens the three export files and the digest file in the order in which
// their failures are reported.
bool open_build_files(TextReader& header, TextReader& list, TextReader& data, TextWriter& digest_file) {
  if (!header.open(kHeaderFile)) {
    report_file_error(kHeaderFile, errno);
    return false;
  }
  if (!list.open(kListFile)) {
    report_file_error(kListFile, errno);
    return false;
  }
  if (!data.open(kDataFile)) {
    report_file_error(kDataFile, errno);
    return false;
  }
  if (!digest_file.open(kDigestTempFile)) {
    report_file_error(kDigestFile, errno);
    return false;
  }
  return true;
}

}  // namespace

std::string read_header_text(TextReader& file) {
  std::string_view line;
  if (!file.read_piece(line)) return {};
  line = c_text(line);
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line.empty() ? std::string() : std::string(line.substr(1));
}

ListRow parse_list_row(std::string_view row) {
  row = c_text(row);
  const std::size_t npos = std::string_view::npos;
  const std::size_t row_end = !row.empty() && row.back() == '\n' ? row.size() - 1 : row.size();

  // All starts are found in the uncut row; a missing cell leaves its start
  // (and every later one searched from it) unset.
  std::size_t starts[5];
  const std::size_t cell = row.find(kCellOpen);
  starts[0] = cell == npos ? npos : std::min(cell + kCellOpen.size() + kIdentifierMarkup, row.size());
  std::size_t from = starts[0] == npos ? 0 : starts[0];
  for (int field = 1; field <= 4; ++field) {
    const std::size_t open = from == npos ? npos : row.find(kFieldOpen, from);
    starts[field] = open == npos ? npos : open + kFieldOpen.size();
    from = starts[field];
  }

  // Each text ends at the first "</td>" at or after its start, or at the end
  // of the row without its line feed.
  std::string_view texts[5];
  for (int i = 0; i < 5; ++i) {
    if (starts[i] == npos || starts[i] >= row_end) continue;
    const std::size_t close = row.find(kCellClose, starts[i]);
    const std::size_t end = close == npos ? row_end : std::min(close, row_end);
    texts[i] = row.substr(starts[i], end - starts[i]);
  }
  return ListRow{texts[0], {texts[1], texts[2], texts[3], texts[4]}};
}

void scan_data_record(PositionDigest& digest, TextReader& data_file, std::string_view field_one) {
  std::string_view line;
  bool found_header = false;
  // Only pieces with a "[" can open a record; only pieces with the separator
  // or the board header line can end the search for the diagram.
  while (data_file.read_piece_with(kRecordOpen, kRecordOpen, line)) {
    if (is_record_header(c_text(line))) {
      found_header = true;
      break;
    }
  }
  bool has_diagram = false;
  if (found_header) {
    while (data_file.read_piece_with(kRecordSeparator, sjis::kBoardHeader, line)) {
      const std::string_view text = c_text(line);
      if (text.find(kRecordSeparator) != std::string_view::npos) break;
      if (text.find(sjis::kBoardHeader) != std::string_view::npos) {
        has_diagram = true;
        break;
      }
    }
  }
  crc64_init(digest);
  if (has_diagram && field_one.find(' ') != std::string_view::npos) read_diagram(digest, nullptr, data_file);
}

int build_digest_file() {
  TextReader header_file;
  TextReader list_file;
  TextReader data_file;
  TextWriter digest_file;
  if (!open_build_files(header_file, list_file, data_file, digest_file)) return 1;
  // An existing "vokt.dat" that may not be replaced is reported before any
  // work, as opening it for writing would have been.
  if (std::FILE* old = std::fopen(kDigestFile, "rb+")) {
    std::fclose(old);
  } else if (errno != ENOENT) {
    const int error = errno;
    digest_file.close();
    std::remove(kDigestTempFile);
    report_file_error(kDigestFile, error);
    return 1;
  }

  write_header(digest_file, header_file);
  write_header(digest_file, header_file);

  std::optional<std::string> last_identifier;
  std::string_view line;
  std::string record;
  // Only pieces with "<td nowrap>" can be list rows.
  while (list_file.read_piece_with(kFieldOpen, kFieldOpen, line)) {
    if (!is_list_row(c_text(line))) continue;
    const ListRow row = parse_list_row(line);
    set_record_identifier(row.identifier);
    last_identifier.emplace(row.identifier);

    PositionDigest digest;
    scan_data_record(digest, data_file, row.fields[0]);

    const DigestText text = digest_text(digest);
    record.assign(text_view(text));
    for (const auto field : row.fields) {
      record += ' ';
      record.append(field);
    }
    record += '\n';
    digest_file.write(record);
  }

  const std::string_view identifier = last_identifier ? std::string_view(*last_identifier) : "(null)";
  std::string closing(identifier);
  closing += ": Processed data\n";
  write_error(closing);
  std::string trailer = "#";
  trailer += identifier;
  trailer += '\n';
  digest_file.write(trailer);

  if (!digest_file.close() || !replace_file(kDigestTempFile, kDigestFile)) {
    const int error = errno;
    std::remove(kDigestTempFile);
    report_file_error(kDigestFile, error);
    return 1;
  }
  return 0;
}

}  // namespace vokt
