#include <algorithm>
#include <bit>

#include "database/database.h"
#include "database/digest_file.h"
#include "digest/sjis.h"
#include "platform/byte_scan.h"
#include "platform/replacement.h"
#include "platform/text_file.h"

namespace vokt {

namespace {

// The export files, in the order in which they are opened and their
// failures reported: the header file, the list page and the data page.
constexpr const char* kExportFiles[] = {"mirzfile.txt", "mirzlist.htm", "mirzdata.htm"};

constexpr std::string_view kCellOpen = "<td>";
constexpr std::string_view kFieldOpen = "<td nowrap>";
constexpr std::string_view kCellClose = "</td>";
constexpr std::string_view kNotARow = "class=";
constexpr std::string_view kRecordSeparator = "><hr></a>";
constexpr std::string_view kRecordOpen = "[";
constexpr std::string_view kWithoutTheLock =
    "Going on without the lock: of two builds at the same moment, one may be refused";

constexpr std::size_t kIdentifierMarkup = 43;  // markup after the identifier's "<td>", skipped unexamined

// True for the data page line "[xxxxx]" that opens a record.
bool is_record_header(std::string_view line) { return line.size() >= 7 && line[0] == '[' && line[6] == ']'; }

}  // namespace

ListRow parse_list_row(std::string_view row) {
  row = c_text(row);
  const std::size_t npos = std::string_view::npos;
  const std::size_t row_end = !row.empty() && row.back() == '\n' ? row.size() - 1 : row.size();
  // A row opens with "<tr><td>"; without an identifier cell the fields are looked for from the start.
  const std::size_t cell = row.starts_with("<tr><td>") ? 4 : row.find(kCellOpen);
  const std::size_t identifier = cell == npos ? 0 : std::min(cell + kCellOpen.size() + kIdentifierMarkup, row.size());

  // The texts start at the identifier and after each of the next four
  // "<td nowrap>"; each ends at the first "</td>" at or after its start, or
  // at the row's end without its line feed. Both tags hold one "<", their
  // first byte: one walk over the "<" bytes finds every start and end in order.
  std::size_t starts[5] = {cell == npos ? row.size() : identifier};
  std::size_t ends[5] = {row_end, row_end, row_end, row_end, row_end};
  std::size_t started = 1, ended = 0;
  for (std::size_t chunk = identifier; chunk < row.size(); chunk += 32) {
    const std::size_t from = std::min(chunk, std::max(row.size(), std::size_t{16}) - 16);  // a short tail: last 16
    for (auto marks = byte_marks(row.substr(from), '<', '<', '<') >> (chunk - from); marks != 0; marks &= marks - 1) {
      const std::size_t at = chunk + static_cast<std::size_t>(std::countr_zero(marks));
      const std::string_view tag = row.substr(at);
      if (tag.starts_with(kCellClose)) {
        for (; ended < started; ++ended) ends[ended] = at;
      } else if (started < 5 && tag.starts_with(kFieldOpen)) {
        starts[started++] = at + kFieldOpen.size();
      }
    }
  }
  std::string_view texts[5];
  for (std::size_t i = 0; i < started; ++i) {
    if (starts[i] < row_end) texts[i] = row.substr(starts[i], ends[i] - starts[i]);
  }
  // A field found is a "<td nowrap>"; only without one is the row searched.
  const bool is_row = (started > 1 || row.find(kFieldOpen) != npos) && row.find(kNotARow) == npos;
  return ListRow{texts[0], {texts[1], texts[2], texts[3], texts[4]}, is_row};
}

namespace {

// Moves through the data page to the next record and sets `digest` to its
// direct digest when it has a diagram and `field_one` contains a space; else
// zero.
void scan_data_record(PositionDigest& digest, TextReader& data_file, std::string_view field_one) {
  crc64_init(digest);
  std::string_view line;
  bool in_record = false;
  // Only pieces with a "[" can open a record; only pieces with the separator
  // or the board header line can end the search for the diagram.
  while (!in_record && data_file.read_piece_with(kRecordOpen, kRecordOpen, line)) {
    in_record = is_record_header(c_text(line));
  }
  while (in_record && data_file.read_piece_with(kRecordSeparator, sjis::kBoardHeader, line)) {
    const std::string_view text = c_text(line);
    if (text.find(kRecordSeparator) != std::string_view::npos) return;
    if (text.find(sjis::kBoardHeader) == std::string_view::npos) continue;
    if (field_one.find(' ') != std::string_view::npos) read_diagram(digest, nullptr, data_file);
    return;
  }
}

}  // namespace

int build_digest_file() {
  TextReader exports[std::size(kExportFiles)];
  for (std::size_t i = 0; i < std::size(kExportFiles); ++i) {
    if (const int error = exports[i].open(kExportFiles[i])) {
      report_file_error(kExportFiles[i], error);
      return 1;
    }
  }
  auto& [header_file, list_file, data_file] = exports;
  // Builds and checks in this folder take turns from here to the end.
  FolderLock lock;
  if (!lock.take(".", kWithoutTheLock)) return 1;
  TextWriter digest_file;
  if (!open_new_digest_file(digest_file, lock.held())) return 1;

  write_header_line(digest_file, read_header_text(header_file));
  write_header_line(digest_file, read_header_text(header_file));

  std::string_view line;
  // Nearly every line of the list page is a row: each is read and cut.
  while (list_file.read_piece(line)) {
    const ListRow row = parse_list_row(line);
    if (!row.is_row) continue;
    set_record_identifier(row.identifier);
    PositionDigest digest;
    scan_data_record(digest, data_file, row.fields[0]);
    write_record_line(digest_file, digest, row.fields);
  }

  // The last row's identifier, kept by the diagram reader.
  const std::string identifier(record_identifier_text());
  write_error(identifier + ": Processed data\n");
  write_header_line(digest_file, identifier);  // the trailer
  lock.say_if_not_held();
  return replace_digest_file(digest_file) ? 0 : 1;
}

}  // namespace vokt
