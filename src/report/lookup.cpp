#include "database/digest_file.h"
#include "digest/sjis.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

int digest_problem_file(ProblemFile& problem, PositionDigest& direct, PositionDigest& mirrored) {
  TextReader problem_file;
  if (const int error = problem_file.open(problem, sjis::kBoardHeaderUtf8)) {
    report_file_error(problem.path, error);
    return 1;
  }
  crc64_init(direct);
  crc64_init(mirrored);
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
  const std::string_view d = text_view(direct_text);
  const std::string_view m = text_view(mirrored_text);
  // A symmetric position is looked up once, so no entry is listed twice.
  const bool symmetric = direct == mirrored;

  long count = 0;
  std::string_view piece;
  // Only the pieces that hold either text are looked at; every other piece
  // would match neither.
  while (digest_file.read_piece_with(d, symmetric ? d : m, piece)) {
    const std::string_view line = c_text(piece);
    if (line.find(d) != std::string_view::npos) {
      page.write(report_text::kDirectMark);
      page.write(record_fields(line));
      ++count;
    }
    if (!symmetric && line.find(m) != std::string_view::npos) {
      page.write(report_text::kMirrorMark);
      page.write(record_fields(line));
      ++count;
    }
  }
  if (count != 0) page.write("\n");
  std::string count_line(report_text::kCountLabel);
  count_line += std::to_string(count);
  count_line += report_text::kCountUnit;
  count_line += '\n';
  page.write(count_line);
}

}  // namespace vokt
