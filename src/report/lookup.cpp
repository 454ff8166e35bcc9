#include <string>

#include "database/digest_file.h"
#include "digest/position_forms.h"
#include "digest/sjis.h"
#include "platform/replacement.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

// Digests the first diagram of the open problem file; false when it has none.
bool digest_first_diagram(TextReader& problem_file, PositionDigest& direct, PositionDigest& mirrored) {
  crc64_init(direct);
  crc64_init(mirrored);
  std::string_view line;
  while (problem_file.read_piece(line)) {
    if (c_text(line).find(sjis::kBoardHeader) != std::string_view::npos) {
      read_diagram(direct, &mirrored, problem_file);
      return true;
    }
  }
  return false;
}

}  // namespace

bool open_problem_file(TextReader& problem_file, ProblemFile& problem) {
  const int error = problem_file.open(problem, sjis::kBoardHeaderUtf8, sjis::kBoardHeader);
  if (error != 0) report_file_error(problem.path, error);
  return error == 0;
}

int digest_problem_file(ProblemFile& problem, PositionDigest& direct, PositionDigest& mirrored) {
  TextReader problem_file;
  if (!open_problem_file(problem_file, problem)) return 1;
  if (digest_first_diagram(problem_file, direct, mirrored)) return 0;

  // No diagram: a position written as CSA or SFEN stands for the diagram
  // that a KIF writer writes for it, which both stages then read.
  if (!open_problem_file(problem_file, problem)) return 1;
  std::string text;
  std::string_view piece;
  while (text.size() <= ProblemFile::kMaxHeldFile && problem_file.read_piece(piece)) text += piece;
  const PositionReading reading = text.size() <= ProblemFile::kMaxHeldFile ? read_position_text(text) : PositionReading{};
  if (reading.form == PositionForm::none) {
    write_error("Kifu data not specified\n");
    return 1;
  }
  if (!reading.error.empty()) {
    write_error(shown_name(problem.path) + ": " + reading.error + "\n");
    return 1;
  }
  problem.held = reading.diagram;
  if (!open_problem_file(problem_file, problem)) return 1;
  digest_first_diagram(problem_file, direct, mirrored);
  return 0;
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
  // Only the pieces that hold either text are looked at; every other piece
  // would match neither.
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
  page.write(std::to_string(count));
  page.write(report_text::kCountUnit);
  page.write("\n");
}

}  // namespace vokt
