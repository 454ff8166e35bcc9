#include <ctime>

#include "database/digest_file.h"
#include "digest/sjis.h"
#include "platform/replacement.h"
#include "platform/text_file.h"
#include "report/report.h"
#include "report/report_text.h"

namespace vokt {

namespace {

// The problem file comes from other people: its text goes into the page with
// the bytes that could open markup escaped. None of them can be the second
// byte of a Shift-JIS character, and a well-formed diagram has none.
void write_escaped(TextWriter& page, std::string_view text) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      default: continue;
    }
    page.write(text.substr(from, i - from));
    page.write(entity);
    from = i + 1;
  }
  page.write(text.substr(from));
}

// Writes the page `name` in `dir` with what `write_body` writes, to its new
// file, put in the page's place later. A body that fails (returns false) has
// reported its own failure, and what it wrote is still the page (a lookup
// without a digest file leaves it empty); a page that cannot be written
// whole is reported by the writer and dropped.
template <typename Body>
int write_page(std::string_view dir, const char* name, bool locked, TextWriter& page, const Body& write_body) {
  if (page.open_replacement(join_path(dir, name), name, locked, true) != 0) return 1;
  const bool written = write_body(page);
  if (page.finish() == 0) return written ? 0 : 1;
  page.discard();
  return 1;
}

// The opening of the key page and the result page: `title` as the title and
// the heading, then the label of the section that follows.
void write_page_head(TextWriter& page, std::string_view title, std::string_view section) {
  page.write({"<html>\n<head>\n<title>", title, "</title>\n</head>\n", report_text::kPageBody, "<pre>\n", title,
              "\n<hr>\n", section, "\n"});
}

// Copies the diagram block of the open problem file into the open page.
void copy_diagram(TextWriter& page, TextReader& problem_file) {
  std::string_view piece;
  bool in_block = false;
  while (problem_file.read_piece(piece)) {
    std::string line(c_text(piece));
    if (!in_block) {
      if (line.find(sjis::kBoardHeader) == std::string::npos) continue;
      in_block = true;
    }
    const bool hand = line.find(sjis::kHand) != std::string::npos;
    hand ? normalize_hand_line(line) : normalize_board_line(line);
    write_escaped(page, line);
    if (hand) {
      page.write("\n");  // the hand line, normalised without its line feed, ends the block
      return;
    }
  }
}

}  // namespace

int write_key_page(std::string_view dir, std::string_view problem_text, bool locked, TextWriter& page) {
  TextReader problem_file;
  problem_file.open_text(problem_text);
  return write_page(dir, report_text::kKeyPage, locked, page, [&](TextWriter& page) {
    write_page_head(page, std::string(report_text::kShortName).append(" ").append(report_text::kVersion),
                    report_text::kSearchData);
    copy_diagram(page, problem_file);
    page.write("\n<hr>\n</pre>\n</body>\n</html>\n");
    return true;
  });
}

int write_result_page(std::string_view dir, const PositionDigest& direct, const PositionDigest& mirrored,
                      bool locked, TextWriter& page) {
  return write_page(dir, report_text::kResultPage, locked, page, [&](TextWriter& page) {
    TextReader digest_file;
    // Under the lock of the pages: a FIFO there must not hold up every check.
    if (const int error = digest_file.open(join_path(dir, kDigestFileName), true)) {
      report_file_error(kDigestFileName, error);
      return false;
    }
    const std::string header_one = read_header_text(digest_file);
    const std::string header_two = read_header_text(digest_file);
    write_page_head(page, header_one, report_text::kSearchResult);
    list_matches(digest_file, page, direct, mirrored);
    page.write({"\n<hr>\n", header_two, "\n</pre>\n</body>\n</html>\n"});
    return true;
  });
}

int write_frame_page(std::string_view dir, bool locked, TextWriter& page) {
  // "Tue Dec 08 04:13:47 2026": the C library's names in its own ("C")
  // locale, which the tool never changes.
  const std::time_t now = std::time(nullptr);
  char date[32] = "";
  if (const std::tm* local = std::localtime(&now)) std::strftime(date, sizeof date, "%a %b %d %H:%M:%S %Y", local);
  return write_page(dir, report_text::kFramePage, locked, page, [&](TextWriter& page) {
    page.write({"<html>\n<head>\n<title>", report_text::kLongTitle, " ", report_text::kVersion, " - ", date,
                "</title>\n</head>\n<frameset cols=\"300,*\" border=\"0\">\n  <frame src=\"", report_text::kKeyPage,
                "\" scrolling=\"no\">\n  <frame src=\"", report_text::kResultPage, "\">\n</frameset>\n</html>\n"});
    return true;
  });
}

int open_in_browser(std::string_view dir) {
  const std::string page = join_path(dir, report_text::kFramePage);
  const int status = open_document(page);
  // The check itself has succeeded: only say where its pages are, also when
  // the launcher started but failed.
  if (status == -1) write_error("The browser could not be started: open " + shown_name(page) + " by hand\n");
  return status;
}

}  // namespace vokt
