#include <string>
#include <vector>

#include "database/digest_file.h"
#include "digest/position_forms.h"
#include "digest/sjis.h"
#include "platform/replacement.h"
#include "platform/text_file.h"
#include "report/utf8_text.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

constexpr std::size_t kMaxProblemFile = 16 * 1024 * 1024;  // the longest problem file read

// Whether `text` holds `line` once its CR bytes are left out, as text mode
// leaves them out. The text is walked once whatever it holds: on a mismatch
// the match goes on from the longest start of `line` that ends there
// (Knuth, Morris and Pratt).
bool holds_line(std::string_view text, std::string_view line) {
  std::vector<std::size_t> fallback(line.size(), 0);
  for (std::size_t i = 1, k = 0; i < line.size(); ++i) {
    while (k > 0 && line[i] != line[k]) k = fallback[k - 1];
    if (line[i] == line[k]) ++k;
    fallback[i] = k;
  }
  std::size_t matched = 0;
  for (const char byte : text) {
    if (byte == '\r') continue;
    while (matched > 0 && byte != line[matched]) matched = fallback[matched - 1];
    if (byte == line[matched] && ++matched == line.size()) return true;
  }
  return false;
}

}  // namespace

int read_problem_file(const std::string& path, std::string& text) {
  const auto fail = [&](std::string_view what) {
    write_error(shown_name(path) + ": " + std::string(what) + "\n");
    return 1;
  };
  if (const int error = read_whole_file(path, kMaxProblemFile, text)) {
    report_file_error(path, error);
    return 1;
  }
  const bool unicode =
      has_utf16_mark(text) || (!holds_line(text, sjis::kBoardHeader) && holds_line(text, sjis::kBoardHeaderUtf8));
  if (unicode && !convert_to_cp932(text)) return fail("This system cannot convert the text to code page 932");
  apply_text_mode(text);
  // No diagram: a position written as CSA or SFEN stands for the diagram
  // that a KIF writer writes for it.
  PositionReading reading = read_position_text(text);
  if (!reading.error.empty()) return fail(reading.error);
  if (reading.form != PositionForm::none) text = std::move(reading.diagram);
  return 0;
}

int digest_problem_file(std::string_view problem_text, PositionDigest& direct, PositionDigest& mirrored) {
  crc64_init(direct);
  crc64_init(mirrored);
  TextReader problem_file;
  problem_file.open_text(problem_text);
  std::string_view line;
  while (problem_file.read_piece(line)) {
    if (c_text(line).find(sjis::kBoardHeader) != std::string_view::npos) {
      read_diagram(direct, &mirrored, problem_file);
      return 0;
    }
  }
  write_error("Kifu data not specified\n");
  return 1;
}

void list_matches(TextReader& digest_file, TextWriter& page, const PositionDigest& direct,
                  const PositionDigest& mirrored) {
  const DigestText direct_text = digest_text(direct);
  const DigestText mirrored_text = digest_text(mirrored);
  const std::string_view texts[] = {text_view(direct_text), text_view(mirrored_text)};
  const std::string_view marks[] = {report_text::kDirectMark, report_text::kMirrorMark};
  // A symmetric position is looked up once, so no entry is listed twice.
  const std::size_t lookups = direct == mirrored ? 1 : 2;
  long count = 0;
  std::string_view piece;
  // Only the pieces that hold either text are looked at.
  while (digest_file.read_piece_with(texts[0], texts[lookups - 1], piece)) {
    const std::string_view line = c_text(piece);
    for (std::size_t i = 0; i < lookups; ++i) {
      if (line.find(texts[i]) == std::string_view::npos) continue;
      page.write(marks[i]);
      page.write(record_fields(line));
      ++count;
    }
  }
  if (count != 0) page.write("\n");
  page.write(report_text::kCountLabel);
  page.write(std::to_string(count).append(report_text::kCountUnit).append("\n"));
}

}  // namespace vokt
